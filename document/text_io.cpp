#include "document/text_io.h"

#include <cstdint>
#include <cstring>

#include "document/encoding.h"
#include "document/encoding_internal.h"

namespace {

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsTrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFE); }

}  // namespace

std::string_view CutBetweenCharacters(std::string_view value, size_t limit) {
  if (value.size() <= limit) return value;
  size_t end = 0;
  while (end < value.size()) {
    const size_t width = IsLeadByte(static_cast<unsigned char>(value[end])) && end + 1 < value.size() ? 2 : 1;
    if (end + width > limit) break;
    end += width;
  }
  return value.substr(0, end);
}

void TruncateAtFirstZero(std::string& text) {
  size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
}

void MendBrokenCharacters(std::string& text) {
  auto* s = reinterpret_cast<unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    // Most of a KML document is ASCII: skip it eight bytes at a time.
    if (i + 8 <= n) {
      uint64_t word;
      std::memcpy(&word, s + i, 8);
      if ((word & 0x8080808080808080ULL) == 0) {
        i += 8;
        continue;
      }
    }
    if (!IsLeadByte(s[i])) {
      ++i;
    } else if (i + 1 < n && IsTrailByte(s[i + 1])) {
      i += 2;
    } else {
      s[i++] = '?';
    }
  }
}

std::string BytesAsAnsiText(std::string bytes) { return DecodeDocument(std::move(bytes), Encoding::kAnsi); }

std::string DecodeDocument(std::string bytes, Encoding encoding) {
  std::string text;
  if (HasUtf16ByteOrderMark(bytes)) {
    text = Utf16ToAnsi(bytes);
  } else if (encoding == Encoding::kUtf8) {
    text = Utf8ToAnsi(std::move(bytes));
  } else {
    TruncateAtFirstZero(bytes);
    text = std::move(bytes);
  }
  MendBrokenCharacters(text);
  return text;
}

std::string DecodePart(std::string_view part, Encoding encoding) {
  // Not Utf8ToAnsi: a byte-order mark is left out only at the start of the file.
  if (encoding == Encoding::kUtf8) return Utf8TextToAnsi(std::string(part), 0);
  std::string mended(part);
  MendBrokenCharacters(mended);
  return mended;
}

void AppendDecodedPart(std::string_view part, Encoding encoding, std::string& out) {
  if (encoding == Encoding::kUtf8) return AppendUtf8AsAnsi(part, out);
  out += DecodePart(part, encoding);
}

bool HasHighByte(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}
