#include "document/encoding.h"

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
