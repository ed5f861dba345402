// UTF-8 to GBK: never longer than its input, no zero bytes, ASCII unchanged; the same for
// UTF-16 input.
#include <cstdint>
#include <cstring>
#include <string>

#include "document/encoding.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string ansi = Utf8ToAnsi(bytes);
  size_t text_end = bytes.find('\0');
  std::string text = bytes.substr(0, text_end);
  FUZZ_CHECK(ansi.size() <= text.size());
  FUZZ_CHECK(ansi.find('\0') == std::string::npos);
  bool ascii = true;
  for (char c : text) ascii &= static_cast<unsigned char>(c) < 0x80;
  if (ascii) FUZZ_CHECK(ansi == text);

  std::u16string units(size / 2, u'\0');
  std::memcpy(units.data(), data, units.size() * 2);
  std::string wide_ansi = WideToAnsi(units);
  FUZZ_CHECK(wide_ansi.find('\0') == std::string::npos);
  FUZZ_CHECK(wide_ansi.size() <= 2 * units.size());
  return 0;
}
