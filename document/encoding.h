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

// Whether `bytes` are valid UTF-8: no stray continuation byte, no overlong form, no surrogate,
// nothing beyond U+10FFFF, no sequence cut short.
bool IsValidUtf8(std::string_view bytes);

// Whether `bytes` are made of GBK characters: every byte above 0x80 a lead byte (0x81-0xFE)
// followed by a trail byte (0x40-0x7E, 0x80-0xFE), or the single byte 0x80.
bool IsGbk(std::string_view bytes);

// `bytes` with every invalid UTF-8 sequence (its maximal subpart) made one "?": the UTF-8
// text that a box shows of a file, before any character is lost to GBK.
std::string ValidUtf8(std::string_view bytes);

// How many characters of the valid UTF-8 text `utf8` GBK lacks: those that become "?" in the
// document text. "a\xF0\x9F\x98\x80b" (an emoji) gives 1.
size_t CharactersGbkLacks(std::string_view utf8);

// The UTF-8 text of UTF-16 `bytes` that start with their byte-order mark (FF FE little-endian,
// FE FF big-endian), up to the first NUL unit; a lone surrogate becomes U+FFFD. And back:
// the UTF-16 bytes, byte-order mark first, of valid UTF-8 text.
std::string Utf16ToUtf8(std::string_view bytes);
std::string Utf8ToUtf16(std::string_view utf8, bool big_endian);
