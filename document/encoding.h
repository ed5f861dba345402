#pragma once

#include <string>
#include <string_view>

// Conversions into the system ANSI code page: GBK (code page 936) on the systems we target,
// and always GBK on Linux.

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
