// The conversions through the system's own code-page functions. Their sizes are int, so a
// large text goes through them in pieces, each cut between two characters.
#include <windows.h>

#include <algorithm>

#include "document/encoding.h"
#include "document/encoding_internal.h"

namespace {

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Appends the ANSI text of `n` units at `wide` to `ansi`.
void AppendAnsi(const char16_t* wide, size_t n, std::string& ansi) {
  const auto* units = reinterpret_cast<const wchar_t*>(wide);
  int count = WideCharToMultiByte(CP_ACP, 0, units, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
  if (count <= 0) return;
  size_t old_size = ansi.size();
  ansi.resize(old_size + static_cast<size_t>(count));
  int written = WideCharToMultiByte(CP_ACP, 0, units, static_cast<int>(n), ansi.data() + old_size, count,
                                    nullptr, nullptr);
  ansi.resize(old_size + static_cast<size_t>(std::max(written, 0)));
}

}  // namespace

std::string WideToAnsi(std::u16string_view units, size_t piece) {
  size_t length = 0;
  while (length < units.size() && units[length] != 0) ++length;
  piece = std::max<size_t>(piece, 2);
  std::string ansi;
  for (size_t at = 0; at < length;) {
    size_t n = std::min(piece, length - at);
    if (at + n < length && IsHighSurrogate(units[at + n - 1])) --n;  // keep the pair together
    AppendAnsi(units.data() + at, n, ansi);
    at += n;
  }
  return ansi;
}

std::string Utf8TextToAnsi(std::string text, size_t start, size_t piece) {
  piece = std::max<size_t>(piece, 4);
  std::string ansi;
  std::u16string wide;
  for (size_t at = start; at < text.size();) {
    size_t end = std::min(text.size(), at + piece);
    // Cut before the first byte of a sequence; a longer run of continuation bytes is invalid
    // anyway, and cutting it changes nothing.
    for (size_t back = 0; back < 3 && end < text.size() && end > at + 1 && IsContinuationByte(text[end]); ++back) {
      --end;
    }
    const char* utf8 = text.data() + at;
    int utf8_length = static_cast<int>(end - at);
    int count = MultiByteToWideChar(CP_UTF8, 0, utf8, utf8_length, nullptr, 0);
    if (count > 0) {
      wide.resize(static_cast<size_t>(count));
      MultiByteToWideChar(CP_UTF8, 0, utf8, utf8_length, reinterpret_cast<wchar_t*>(wide.data()), count);
      AppendAnsi(wide.data(), wide.size(), ansi);
    }
    at = end;
  }
  return ansi;
}

void AppendUtf8AsAnsi(std::string_view utf8, std::string& out) { out += Utf8TextToAnsi(std::string(utf8), 0); }
