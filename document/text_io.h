#pragma once

#include <string>
#include <string_view>

// The bytes of a file taken as ANSI text: up to the first zero byte, broken characters
// mended (see MendBrokenCharacters).
std::string BytesAsAnsiText(std::string bytes);
void TruncateAtFirstZero(std::string& text);

// Makes `text` hold whole characters of the double-byte code page only, so that a text box
// gives back exactly the text it was given. A lead byte 0x81-0xFE followed by a trail byte
// (0x40-0x7E or 0x80-0xFE) is one character and stays; a lead byte followed by anything
// else, or by nothing, becomes "?" and the byte after it is read on its own; every other
// byte stays. "\xD6\xD0" stays, "\x81 <" becomes "? <", a last "\xD6" becomes "?".
void MendBrokenCharacters(std::string& text);

// The bytes that a text is written as: exactly its characters, no terminator.
inline std::string_view TextToBytes(std::string_view text) { return text; }

// How the bytes of a file become the document text.
enum class Encoding {
  kAnsi,  // taken as they are
  kUtf8,  // converted from UTF-8 to the ANSI code page
};

// The document text of a file's bytes. A file that starts with a UTF-16 byte-order mark
// (FF FE or FE FF) is decoded from UTF-16 whatever the encoding; the text ends at the first
// zero byte (or NUL unit), and its broken characters are mended.
std::string DecodeDocument(std::string bytes, Encoding encoding);

// The document text of a part of a file's bytes (read with `encoding`, after the first zero
// byte and a UTF-8 byte-order mark have been left out) that begins and ends next to ASCII
// bytes which belong to no multi-byte character, such as "<", ">", blanks and commas: the
// same bytes as that part has in DecodeDocument's text.
std::string DecodePart(std::string_view part, Encoding encoding);
// The same, appended to `out`.
void AppendDecodedPart(std::string_view part, Encoding encoding, std::string& out);

// True when `text` holds a byte above 0x7F, which DecodePart may change.
bool HasHighByte(std::string_view text);

// `value` cut to at most `limit` bytes between two characters (GBK).
std::string_view CutBetweenCharacters(std::string_view value, size_t limit);
