#include "cli/console.h"

#include <cstdio>
#include <mutex>

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>

#include "document/wide_text_win32.h"
#endif

namespace {

std::mutex stderr_mutex;  // conversions run side by side; their lines must not mix

}  // namespace

void PrintError(std::string_view line) {
  std::lock_guard<std::mutex> lock(stderr_mutex);
#ifdef _WIN32
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode;
  if (GetConsoleMode(error, &mode)) {
    std::wstring wide = Utf8ToWide(line);
    wide += L"\r\n";
    DWORD written;
    WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
#endif
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
#ifdef _WIN32
  (void)argc, (void)argv;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide && i < count; ++i) args.push_back(WideToUtf8(wide[i]));
  if (wide) LocalFree(wide);
  return args;
#else
  return std::vector<std::string>(argv + 1, argv + argc);
#endif
}
