// How long Geovant.exe takes to open a large KML file named on its command line, measured
// from another process as a user would see it. Usage:
//   geovant_open_bench.exe GEOVANT_EXE UTF8_KML
// Prints the seconds from the start until the title names the file, until the document box
// holds the whole text, until the tag list holds every tag, and until the analysis of the kind
// of geometry the file holds most of (points, else lines, else polygons) has shown its count
// and filled the result box; exits 0 when all of them came within a minute.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/main_window_win32.h"
#include "document/encoding.h"
#include "document/file_io.h"
#include "document/wide_text_win32.h"
#include "mif/file_export.h"
#include "tags/tag_index.h"

namespace {

double Seconds(LARGE_INTEGER from) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 6000; ++i) {
    if (condition()) return true;
    Sleep(10);
  }
  return false;
}

HWND FindMessageBox(DWORD process) {
  struct Search {
    DWORD process;
    HWND found = nullptr;
  } search{process};
  EnumWindows(
      [](HWND h, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        DWORD pid = 0;
        wchar_t name[16] = {};
        GetWindowThreadProcessId(h, &pid);
        GetClassNameW(h, name, 16);
        if (pid == s->process && IsWindowVisible(h) && std::wstring(name) == L"#32770") s->found = h;
        return s->found == nullptr;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc != 3) {
    std::fprintf(stderr, "usage: geovant_open_bench GEOVANT_EXE UTF8_KML\n");
    return 2;
  }
  std::string bytes;
  ReadWholeFile(WideToUtf8(argv[2]), &bytes);
  const std::string document = Utf8ToAnsi(bytes);
  Pattern tag_pattern;
  tag_pattern.Compile(kTagPattern);
  const LRESULT tags = static_cast<LRESULT>(BuildTagIndex(tag_pattern, document).size());
  std::string decoded;
  const std::array<size_t, 3> counts = CountGeometry(SourceOf(document, Encoding::kAnsi, &decoded), 1);
  const size_t kind = static_cast<size_t>(std::max_element(counts.begin(), counts.end()) - counts.begin());
  const int analysis_button = kId按钮4 + static_cast<int>(kind);
  const char* const kind_names[] = {"point", "line", "polygon"};
  const LRESULT length = static_cast<LRESULT>(AnsiToWide(document).size());
  const std::wstring file = argv[2];
  const std::wstring name = file.substr(file.find_last_of(L"\\/") + 1);

  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  std::wstring line = L"\"" + std::wstring(argv[1]) + L"\" \"" + file + L"\"";
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 1;
  HWND window = nullptr;
  bool ok = WaitFor([&] { return (window = FindWindowW(kMainWindowClass, nullptr)) != nullptr; });
  auto title = [&] {
    wchar_t text[512] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 1000, nullptr);
    return std::wstring(text);
  };
  ok = ok && WaitFor([&] { return title().find(name) == 0; });
  std::printf("title names the file:       %6.2f s\n", Seconds(start));
  auto box_length = [&] {
    DWORD_PTR result = 0;
    for (int id : {kIdLarge编辑框1, kId编辑框1}) {
      HWND box = GetDlgItem(window, id);
      if (!IsWindowVisible(box)) continue;
      SendMessageTimeoutW(box, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 1000, &result);
    }
    return static_cast<LRESULT>(result);
  };
  ok = ok && WaitFor([&] { return box_length() == length; });
  std::printf("document box holds the text: %6.2f s\n", Seconds(start));
  ok = ok && WaitFor([&] {
    DWORD_PTR count = 0;
    SendMessageTimeoutW(GetDlgItem(window, kId列表框2), LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 1000, &count);
    return static_cast<LRESULT>(count) == tags;
  });
  std::printf("tag list holds every tag:   %6.2f s\n", Seconds(start));
  LARGE_INTEGER pressed;
  QueryPerformanceCounter(&pressed);
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(analysis_button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, analysis_button)));
  HWND box = nullptr;
  ok = ok && WaitFor([&] { return (box = FindMessageBox(pi.dwProcessId)) != nullptr; });
  std::printf("%s analysis shows its count: %6.2f s after the click\n", kind_names[kind], Seconds(pressed));
  if (box) PostMessageW(box, WM_COMMAND, IDOK, 0);
  LARGE_INTEGER answered;
  QueryPerformanceCounter(&answered);
  // The result box is filled once the count has been answered.
  ok = ok && WaitFor([&] {
    DWORD_PTR result = 0;
    for (int id : {kIdLarge编辑框2, kId编辑框2}) {
      HWND result_box = GetDlgItem(window, id);
      DWORD_PTR n = 0;
      if (IsWindowVisible(result_box) &&
          SendMessageTimeoutW(result_box, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 1000, &n)) {
        result = n;
      }
    }
    return result > 0;
  });
  std::printf("result box lists them:        %6.2f s after the answer\n", Seconds(answered));
  PostMessageW(window, WM_CLOSE, 0, 0);
  WaitForSingleObject(pi.hProcess, 60000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  std::printf("%s\n", ok ? "all within a minute" : "FAIL: not everything came within a minute");
  return ok ? 0 : 1;
}
