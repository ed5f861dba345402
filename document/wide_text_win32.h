#pragma once

#include <string>
#include <string_view>

// Text for the W functions of Windows. File names and the texts of the window (captions,
// messages, file types) are UTF-8 in the program; the document text is ANSI (GBK, code page
// 936) on every Windows, whatever the system's own code page.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
std::wstring AnsiToWide(std::string_view ansi);
std::string WideToAnsi(std::wstring_view wide);
