#include "document/text_io.h"

#include "document/encoding.h"

void TruncateAtFirstZero(std::string& text) {
  size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
}

std::string BytesAsAnsiText(std::string bytes) {
  TruncateAtFirstZero(bytes);
  return bytes;
}

std::string DecodeDocument(std::string bytes, Encoding encoding) {
  if (encoding == Encoding::kUtf8) return Utf8ToAnsi(std::move(bytes));
  TruncateAtFirstZero(bytes);
  return bytes;
}
