// The conversions through the system's own code-page functions.
#include <windows.h>

#include "document/encoding.h"
#include "document/encoding_internal.h"

std::string WideToAnsi(std::u16string_view units) {
  size_t length = 0;
  while (length < units.size() && units[length] != 0) ++length;
  if (length == 0) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(units.data());
  // Two bytes per UTF-16 unit are enough for any ANSI code page.
  std::string ansi(length * 2, '\0');
  int written = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(length), ansi.data(),
                                    static_cast<int>(ansi.size()), nullptr, nullptr);
  ansi.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return ansi;
}

std::string Utf8TextToAnsi(std::string text, size_t start) {
  if (start >= text.size()) return {};
  const char* utf8 = text.data() + start;
  int utf8_length = static_cast<int>(text.size() - start);
  int count = MultiByteToWideChar(CP_UTF8, 0, utf8, utf8_length, nullptr, 0);
  if (count <= 0) return {};
  std::u16string wide(static_cast<size_t>(count), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, utf8_length, reinterpret_cast<wchar_t*>(wide.data()),
                      count);
  text = std::string();  // the UTF-8 bytes are no longer needed
  return WideToAnsi(wide);
}
