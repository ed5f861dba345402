#pragma once

#include <string>
#include <string_view>

// The bytes of a file taken as ANSI text: unchanged, up to the first zero byte.
std::string BytesAsAnsiText(std::string bytes);
void TruncateAtFirstZero(std::string& text);

// The bytes that a text is written as: exactly its characters, no terminator.
inline std::string_view TextToBytes(std::string_view text) { return text; }

// How the bytes of a file become the document text.
enum class Encoding {
  kAnsi,  // taken as they are
  kUtf8,  // converted from UTF-8 to the ANSI code page
};

std::string DecodeDocument(std::string bytes, Encoding encoding);
