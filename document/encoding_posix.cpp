// UTF-8 and UTF-16 to GBK, giving what MultiByteToWideChar and WideCharToMultiByte give for
// code page 936: an invalid UTF-8 sequence becomes U+FFFD and a character that GBK lacks
// (U+FFFD among them, and every character beyond U+FFFF) becomes one "?". The GBK code of
// each character comes from glibc's iconv, asked once for all of them; so does the way back.
#include <iconv.h>

#include <cstdint>
#include <cstring>

#include "document/encoding.h"
#include "document/encoding_internal.h"

namespace {

// Length of the valid UTF-8 sequence at s[0] (a byte >= 0x80); when it is invalid, minus the
// length of its maximal subpart, which becomes one U+FFFD.
int SequenceLength(const unsigned char* s, size_t available) {
  unsigned char lead = s[0];
  int length;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return -1;
  }
  for (int i = 1; i < length; ++i) {
    if (static_cast<size_t>(i) >= available) return -i;
    unsigned char c = s[i];
    bool in_range = i == 1 ? (c >= low && c <= high) : (c >= 0x80 && c <= 0xBF);
    if (!in_range) return -i;
  }
  return length;
}

// The end of the run of ASCII bytes that starts at `from`.
size_t AsciiRunEnd(const char* s, size_t from, size_t n) {
  while (from + 8 <= n) {
    uint64_t word;
    std::memcpy(&word, s + from, 8);
    if (word & 0x8080808080808080ULL) break;
    from += 8;
  }
  while (from < n && static_cast<unsigned char>(s[from]) < 0x80) ++from;
  return from;
}

// The GBK bytes of every character of the Basic Multilingual Plane, taken once from iconv:
// 0 for a character that GBK lacks, a byte below 0x100, or two bytes (first << 8 | second).
// Looking a character up is several times faster than asking iconv for it.
class GbkTable {
 public:
  static const GbkTable& Get() {
    static const GbkTable table;
    return table;
  }
  uint16_t operator[](uint32_t code_point) const { return codes_[code_point]; }

 private:
  GbkTable();
  uint16_t codes_[0x10000] = {};
};

GbkTable::GbkTable() {
  iconv_t converter = iconv_open("GBK", "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) return;  // then GBK lacks every character
  std::string utf8;
  for (uint32_t c = 0x80; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    utf8.clear();
    AppendUtf8(c, utf8);
    char gbk[8];
    char* in = utf8.data();
    char* out = gbk;
    size_t in_left = utf8.size(), out_left = sizeof gbk;
    if (iconv(converter, &in, &in_left, &out, &out_left) != static_cast<size_t>(-1)) {
      auto first = static_cast<unsigned char>(gbk[0]);
      codes_[c] = static_cast<uint16_t>(out == gbk + 1 ? first : first << 8 | static_cast<unsigned char>(gbk[1]));
    }
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(converter);
}

// The code point of the valid sequence of `length` bytes at `s`.
uint32_t Decode(const unsigned char* s, int length) {
  switch (length) {
    case 2: return (s[0] & 0x1Fu) << 6 | (s[1] & 0x3Fu);
    case 3: return (s[0] & 0x0Fu) << 12 | (s[1] & 0x3Fu) << 6 | (s[2] & 0x3Fu);
  }
  return 0x10000;  // four bytes: beyond the plane, two UTF-16 units that GBK lacks
}

}  // namespace

namespace {

// Converts s[read, n) to s[write, ...), write <= read, and returns where the writing ended.
// The result is never longer than what it is made from, so it is written over the text behind
// the read position.
size_t ConvertInPlace(unsigned char* s, size_t read, size_t n, size_t write) {
  const GbkTable& table = GbkTable::Get();
  while (read < n) {
    size_t ascii_end = AsciiRunEnd(reinterpret_cast<const char*>(s), read, n);
    if (write != read) std::memmove(s + write, s + read, ascii_end - read);
    write += ascii_end - read;
    read = ascii_end;
    while (read < n && s[read] >= 0x80) {
      int length = SequenceLength(s + read, n - read);
      if (length < 0) {
        s[write++] = '?';
        read += static_cast<size_t>(-length);
        continue;
      }
      uint32_t c = Decode(s + read, length);
      read += static_cast<size_t>(length);
      uint16_t code = c < 0x10000 ? table[c] : 0;
      if (code == 0) {
        s[write++] = '?';
      } else if (code < 0x100) {
        s[write++] = static_cast<unsigned char>(code);
      } else {
        s[write++] = static_cast<unsigned char>(code >> 8);
        s[write++] = static_cast<unsigned char>(code);
      }
    }
  }
  return write;
}

}  // namespace

std::string Utf8TextToAnsi(std::string text, size_t start, size_t /*piece*/) {
  text.resize(ConvertInPlace(reinterpret_cast<unsigned char*>(text.data()), start, text.size(), 0));
  return text;
}

void AppendUtf8AsAnsi(std::string_view utf8, std::string& out) {
  const size_t old_size = out.size();
  out.append(utf8);
  out.resize(ConvertInPlace(reinterpret_cast<unsigned char*>(out.data()), old_size, out.size(), old_size));
}

std::string WideToAnsi(std::u16string_view units, size_t /*piece*/) {
  // Through UTF-8, so that one encoder serves both conversions; a lone surrogate is U+FFFD.
  std::string utf8;
  utf8.reserve(units.size() * 3);
  for (size_t i = 0; i < units.size() && units[i] != 0; ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(c, utf8);
  }
  return Utf8TextToAnsi(std::move(utf8), 0);
}

namespace {

// The character of every GBK code: the byte 0x80, then each lead byte 0x81-0xFE with each
// trail byte 0x40-0xFE; 0 for a code that names none.
class GbkDecodeTable {
 public:
  static const GbkDecodeTable& Get() {
    static const GbkDecodeTable table;
    return table;
  }
  uint16_t Pair(unsigned char lead, unsigned char trail) const { return pairs_[(lead - 0x81) * 191 + (trail - 0x40)]; }
  uint16_t euro() const { return euro_; }

 private:
  GbkDecodeTable();
  uint16_t pairs_[126 * 191] = {};
  uint16_t euro_ = 0;
};

uint32_t DecodeOne(iconv_t converter, const char* gbk, size_t n) {
  char* in = const_cast<char*>(gbk);
  char utf8[8];
  char* out = utf8;
  size_t in_left = n, out_left = sizeof utf8;
  uint32_t c = 0;
  if (iconv(converter, &in, &in_left, &out, &out_left) != static_cast<size_t>(-1) && in_left == 0) {
    auto* u = reinterpret_cast<const unsigned char*>(utf8);
    const size_t length = static_cast<size_t>(out - utf8);
    if (length == 2) c = (u[0] & 0x1Fu) << 6 | (u[1] & 0x3Fu);
    if (length == 3) c = (u[0] & 0x0Fu) << 12 | (u[1] & 0x3Fu) << 6 | (u[2] & 0x3Fu);
  }
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  return c;
}

GbkDecodeTable::GbkDecodeTable() {
  iconv_t converter = iconv_open("UTF-8", "GBK");
  if (converter == reinterpret_cast<iconv_t>(-1)) return;
  euro_ = static_cast<uint16_t>(DecodeOne(converter, "\x80", 1));
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      pairs_[(lead - 0x81) * 191 + (trail - 0x40)] = static_cast<uint16_t>(DecodeOne(converter, pair, 2));
    }
  }
  iconv_close(converter);
}

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) {
  const GbkDecodeTable& table = GbkDecodeTable::Get();
  std::string utf8;
  utf8.reserve(ansi.size() + ansi.size() / 2);
  for (size_t i = 0; i < ansi.size();) {
    const auto c = static_cast<unsigned char>(ansi[i]);
    uint32_t code = c;
    size_t width = 1;
    if (c == 0x80) {
      code = table.euro();
    } else if (c >= 0x81 && c <= 0xFE) {
      const auto trail = i + 1 < ansi.size() ? static_cast<unsigned char>(ansi[i + 1]) : 0;
      code = 0;
      if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) {
        code = table.Pair(c, trail);
        width = 2;
      }
    } else if (c == 0xFF) {
      code = 0;
    }
    AppendUtf8(code == 0 && c != 0 ? '?' : code, utf8);
    i += width;
  }
  return utf8;
}
