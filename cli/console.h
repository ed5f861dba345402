#pragma once

#include <string>
#include <string_view>
#include <vector>

// What the converter says and takes, whatever the system's code page. Its messages are
// UTF-8 (they hold file names); a Windows console is given them as UTF-16, anything else the
// bytes. The MIF text and the printed document text are bytes, written as they are.

// Writes `line` and a line break to standard error.
void PrintError(std::string_view line);

// The program's arguments after its name: on Windows taken from the UTF-16 command line and
// made UTF-8, so that any file name arrives whole; elsewhere argv as it is.
std::vector<std::string> ProgramArguments(int argc, char** argv);
