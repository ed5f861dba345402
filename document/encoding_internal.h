#pragma once

#include <string>

// The platform's UTF-8 to ANSI conversion of text[start..], without zero bytes; returns the
// result in the same buffer.
std::string Utf8TextToAnsi(std::string text, size_t start);
