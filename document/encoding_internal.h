#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The platform's UTF-8 to ANSI conversion of text[start..], without zero bytes; returns the
// result in the same buffer. The system's conversion functions take int sizes, so the
// Windows build converts in pieces of at most `piece` bytes, cut between characters; the
// Linux build has no such limit and converts in one go.
constexpr size_t kConversionPiece = size_t{64} << 20;
std::string Utf8TextToAnsi(std::string text, size_t start, size_t piece = kConversionPiece);
// The same for a short text, appended to `out`.
void AppendUtf8AsAnsi(std::string_view utf8, std::string& out);
// The UTF-8 bytes of the code point `c`, appended to `out`.
void AppendUtf8(uint32_t c, std::string& out);
std::string WideToAnsi(std::u16string_view units, size_t piece);
