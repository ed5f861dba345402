#pragma once

#include <string>
#include <string_view>

// Conversions into and out of the program's ANSI text: GBK (code page 936) on every system,
// whatever its own code page, as the MIF file declares it. A character that GBK lacks, one
// beyond U+FFFF included, becomes one "?".

// The ANSI text of a whole UTF-8 file. The text ends at the first zero byte; one leading
// byte-order mark is dropped; an invalid UTF-8 sequence and a character that the code page
// lacks each become "?". Converts in place: the buffer it is given becomes the result.
std::string Utf8ToAnsi(std::string bytes);

// True when `bytes` start with FF FE (UTF-16, little-endian) or FE FF (big-endian).
bool HasUtf16ByteOrderMark(std::string_view bytes);

// The ANSI text of a whole UTF-16 file that starts with its byte-order mark, up to the first
// NUL unit; the mark itself is dropped, and an odd last byte is ignored.
std::string Utf16ToAnsi(std::string_view bytes);

// The ANSI text of UTF-16 units, up to the first NUL unit.
std::string WideToAnsi(std::u16string_view units);

// The UTF-8 text of an ANSI text: a pair of bytes that names no character, and a lead byte
// without its trail byte, become "?". "\xD6\xD0" gives "中" (E4 B8 AD).
std::string AnsiToUtf8(std::string_view ansi);
