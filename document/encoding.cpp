#include "document/encoding.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "document/encoding_internal.h"
#include "document/text_io.h"

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LittleEndianMark = "\xFF\xFE";
constexpr std::string_view kUtf16BigEndianMark = "\xFE\xFF";

}  // namespace

std::string Utf8ToAnsi(std::string bytes) {
  std::string text = std::move(bytes);
  TruncateAtFirstZero(text);
  // The mark would come out as "?" and leave a saved document that no longer starts "<?xml".
  size_t start = std::string_view(text).substr(0, 3) == kUtf8ByteOrderMark ? 3 : 0;
  return Utf8TextToAnsi(std::move(text), start);
}

bool HasUtf16ByteOrderMark(std::string_view bytes) {
  std::string_view mark = bytes.substr(0, 2);
  return mark == kUtf16LittleEndianMark || mark == kUtf16BigEndianMark;
}

std::string Utf16ToAnsi(std::string_view bytes) {
  const bool big_endian = bytes.substr(0, 2) == kUtf16BigEndianMark;
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    auto first = static_cast<unsigned char>(bytes[i]);
    auto second = static_cast<unsigned char>(bytes[i + 1]);
    units += static_cast<char16_t>(big_endian ? (first << 8) | second : (second << 8) | first);
  }
  return WideToAnsi(units);
}

std::string WideToAnsi(std::u16string_view units) { return WideToAnsi(units, kConversionPiece); }

namespace {

// The length of the valid UTF-8 sequence that begins with the byte >= 0x80 at s[0], or 0 when
// it is invalid; `*subpart` is then the length of its maximal subpart (at least 1).
size_t Utf8Sequence(std::string_view s, size_t at, size_t* subpart) {
  const auto lead = static_cast<unsigned char>(s[at]);
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    *subpart = 1;
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    if (at + i >= s.size()) {
      *subpart = i;
      return 0;
    }
    const auto c = static_cast<unsigned char>(s[at + i]);
    if (i == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) {
      *subpart = i;
      return 0;
    }
  }
  return length;
}

uint32_t CodePoint(std::string_view s, size_t at, size_t length) {
  const auto* u = reinterpret_cast<const unsigned char*>(s.data() + at);
  if (length == 2) return (u[0] & 0x1Fu) << 6 | (u[1] & 0x3Fu);
  if (length == 3) return (u[0] & 0x0Fu) << 12 | (u[1] & 0x3Fu) << 6 | (u[2] & 0x3Fu);
  return (u[0] & 0x07u) << 18 | (u[1] & 0x3Fu) << 12 | (u[2] & 0x3Fu) << 6 | (u[3] & 0x3Fu);
}


// The end of the run of ASCII bytes from `at`, 32 and then eight at a time.
size_t AsciiEnd(std::string_view s, size_t at) {
  while (at + 32 <= s.size()) {
    uint64_t words[4];
    std::memcpy(words, s.data() + at, 32);
    if ((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ULL) break;
    at += 32;
  }
  while (at + 8 <= s.size()) {
    uint64_t word;
    std::memcpy(&word, s.data() + at, 8);
    if (word & 0x8080808080808080ULL) break;
    at += 8;
  }
  while (at < s.size() && static_cast<unsigned char>(s[at]) < 0x80) ++at;
  return at;
}

}  // namespace

void AppendUtf8(uint32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsValidUtf8(std::string_view bytes) {
  for (size_t at = AsciiEnd(bytes, 0); at < bytes.size(); at = AsciiEnd(bytes, at)) {
    size_t subpart;
    const size_t length = Utf8Sequence(bytes, at, &subpart);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

bool IsGbk(std::string_view bytes) {
  for (size_t at = AsciiEnd(bytes, 0); at < bytes.size(); at = AsciiEnd(bytes, at)) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    if (lead == 0x80) {
      ++at;
      continue;
    }
    if (lead == 0xFF || at + 1 >= bytes.size()) return false;
    const auto trail = static_cast<unsigned char>(bytes[at + 1]);
    if (trail < 0x40 || trail == 0x7F || trail == 0xFF) return false;
    at += 2;
  }
  return true;
}

std::string ValidUtf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  size_t copied = 0;
  for (size_t at = AsciiEnd(bytes, 0); at < bytes.size(); at = AsciiEnd(bytes, at)) {
    size_t subpart;
    const size_t length = Utf8Sequence(bytes, at, &subpart);
    if (length) {
      at += length;
      continue;
    }
    text.append(bytes.substr(copied, at - copied));
    text += '?';
    at += subpart;
    copied = at;
  }
  text.append(bytes.substr(copied));
  return text;
}

size_t CharactersGbkLacks(std::string_view utf8) {
  // Each character of valid UTF-8 becomes a GBK character or one "?".
  const std::string ansi = Utf8ToAnsi(std::string(utf8));
  const auto marks = [](std::string_view text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '?')); };
  const size_t before = marks(utf8), after = marks(ansi);
  return after > before ? after - before : 0;
}

std::string Utf16ToUtf8(std::string_view bytes) {
  const bool big_endian = bytes.substr(0, 2) == kUtf16BigEndianMark;
  auto unit = [&](size_t i) {
    const auto first = static_cast<unsigned char>(bytes[i]), second = static_cast<unsigned char>(bytes[i + 1]);
    return static_cast<uint32_t>(big_endian ? first << 8 | second : second << 8 | first);
  };
  std::string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    uint32_t c = unit(i);
    if (c == 0) break;
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(c, text);
  }
  return text;
}

std::string Utf8ToUtf16(std::string_view utf8, bool big_endian) {
  std::string bytes(big_endian ? kUtf16BigEndianMark : kUtf16LittleEndianMark);
  auto put = [&](uint32_t u) {
    bytes += static_cast<char>(big_endian ? u >> 8 : u & 0xFF);
    bytes += static_cast<char>(big_endian ? u & 0xFF : u >> 8);
  };
  for (size_t at = 0; at < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    size_t subpart = 1, length = lead < 0x80 ? 1 : Utf8Sequence(utf8, at, &subpart);
    const uint32_t c = lead < 0x80 ? lead : length ? CodePoint(utf8, at, length) : 0xFFFD;
    at += length ? length : subpart;
    if (c < 0x10000) {
      put(c);
    } else {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return bytes;
}