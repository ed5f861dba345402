#pragma once

#include <string>
#include <string_view>

// Conversions into the system ANSI code page: GBK (code page 936) on the systems we target,
// and always GBK on Linux.

// The ANSI text of a whole UTF-8 file. The text ends at the first zero byte; one leading
// byte-order mark is dropped; an invalid UTF-8 sequence and a character that the code page
// lacks each become "?". Converts in place: the buffer it is given becomes the result.
std::string Utf8ToAnsi(std::string bytes);

// The ANSI text of UTF-16 units, up to the first NUL unit.
std::string WideToAnsi(std::u16string_view units);
