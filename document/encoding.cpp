#include "document/encoding.h"

#include "document/encoding_internal.h"
#include "document/text_io.h"

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

std::string Utf8ToAnsi(std::string bytes) {
  std::string text = std::move(bytes);
  TruncateAtFirstZero(text);
  // The mark would come out as "?" and leave a saved document that no longer starts "<?xml".
  size_t start = std::string_view(text).substr(0, 3) == kUtf8ByteOrderMark ? 3 : 0;
  return Utf8TextToAnsi(std::move(text), start);
}
