// The conversions through the system's own code-page functions, always with code page 936:
// the document text, the MIF and the MID are GBK on every Windows, whatever its own code
// page. Their sizes are int, so a large text goes through them in pieces, each cut between
// two characters.
#include <windows.h>

#include <algorithm>

#include "document/encoding.h"
#include "document/encoding_internal.h"
#include "document/text_io.h"
#include "document/wide_text_win32.h"

namespace {

constexpr UINT kGbk = 936;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Appends the ANSI text of `n` units at `wide` to `ansi`. The system gives "??" for a
// character beyond U+FFFF, one "?" per unit: such a character becomes one "?" here. A
// character GBK lacks becomes "?", as in the portable conversion, not the system's best fit
// (which writes "é" for "É"): the bytes are those of every platform, and the "?" are counted.
void AppendAnsi(const char16_t* wide, size_t n, std::string& ansi) {
  std::u16string single;
  for (size_t i = 0; i + 1 < n; ++i) {
    if (!IsHighSurrogate(wide[i]) || !IsLowSurrogate(wide[i + 1])) continue;
    single.reserve(n);
    for (size_t j = 0; j < n; ++j) {
      const bool pair = j + 1 < n && IsHighSurrogate(wide[j]) && IsLowSurrogate(wide[j + 1]);
      single += pair ? u'?' : wide[j];
      j += pair;
    }
    wide = single.data();
    n = single.size();
    break;
  }
  const auto* units = reinterpret_cast<const wchar_t*>(wide);
  constexpr DWORD kFlags = WC_NO_BEST_FIT_CHARS;
  int count = WideCharToMultiByte(kGbk, kFlags, units, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
  if (count <= 0) return;
  size_t old_size = ansi.size();
  ansi.resize(old_size + static_cast<size_t>(count));
  int written = WideCharToMultiByte(kGbk, kFlags, units, static_cast<int>(n), ansi.data() + old_size, count,
                                    nullptr, nullptr);
  ansi.resize(old_size + static_cast<size_t>(std::max(written, 0)));
}

// Appends the UTF-16 text of `text`, at most kConversionPiece bytes, read in `code_page`.
void AppendWide(UINT code_page, std::string_view text, std::wstring& wide) {
  const int n = static_cast<int>(text.size());
  int count = MultiByteToWideChar(code_page, 0, text.data(), n, nullptr, 0);
  if (count <= 0) return;
  size_t old_size = wide.size();
  wide.resize(old_size + static_cast<size_t>(count));
  MultiByteToWideChar(code_page, 0, text.data(), n, wide.data() + old_size, count);
}

// Where the piece of `text` that starts at `at` ends: after at most kConversionPiece bytes,
// before a byte that continues a character. `width(i)` is the length of the character at i.
template <typename Width>
size_t PieceEnd(std::string_view text, size_t at, Width width) {
  if (text.size() - at <= kConversionPiece) return text.size();
  size_t end = at;
  while (end < text.size()) {
    size_t next = end + width(end);
    if (next - at > kConversionPiece) break;
    end = next;
  }
  return std::max(end, at + 1);
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

std::wstring Utf8ToWide(std::string_view utf8) {
  std::wstring wide;
  for (size_t at = 0; at < utf8.size();) {
    size_t end = PieceEnd(utf8, at, [&](size_t i) {
      size_t n = 1;
      while (i + n < utf8.size() && n < 4 && IsContinuationByte(utf8[i + n])) ++n;
      return n;
    });
    AppendWide(CP_UTF8, utf8.substr(at, end - at), wide);
    at = end;
  }
  return wide;
}

std::wstring AnsiToWide(std::string_view ansi) {
  std::wstring wide;
  for (size_t at = 0; at < ansi.size();) {
    size_t end = PieceEnd(ansi, at, [&](size_t i) {
      auto c = static_cast<unsigned char>(ansi[i]);
      return c >= 0x81 && c <= 0xFE && i + 1 < ansi.size() ? size_t{2} : size_t{1};
    });
    AppendWide(kGbk, ansi.substr(at, end - at), wide);
    at = end;
  }
  return wide;
}

std::string WideToUtf8(std::wstring_view wide) {
  std::string utf8;
  for (size_t at = 0; at < wide.size();) {
    size_t n = std::min(kConversionPiece, wide.size() - at);
    if (at + n < wide.size() && IsHighSurrogate(static_cast<char16_t>(wide[at + n - 1]))) --n;
    int count = WideCharToMultiByte(CP_UTF8, 0, wide.data() + at, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    if (count > 0) {
      size_t old_size = utf8.size();
      utf8.resize(old_size + static_cast<size_t>(count));
      WideCharToMultiByte(CP_UTF8, 0, wide.data() + at, static_cast<int>(n), utf8.data() + old_size, count, nullptr,
                          nullptr);
    }
    at += n;
  }
  return utf8;
}

std::string WideToAnsi(std::wstring_view wide) {
  return WideToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

std::string AnsiToUtf8(std::string_view ansi) {
  // A lead byte without its trail byte is "?", as everywhere in the program, not what the
  // system makes of it.
  std::string mended(ansi);
  MendBrokenCharacters(mended);
  return WideToUtf8(AnsiToWide(mended));
}
