// Drives Geovant.exe as a user would, from another process: the real window, the real common
// dialogs and message boxes, all read and written through the W functions, so that it runs
// the same under any system code page. Usage:
//   geovant_e2e.exe GEOVANT_EXE GEOVANT_CLI_EXE UTF8_KML GBK_KML KOREAN_KML WORK_FOLDER
// UTF8_KML declares UTF-8 and has Chinese names; GBK_KML declares GBK; KOREAN_KML is any KML
// under a name that GBK lacks. Prints one line per check and exits 0 when all held.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/batch_dialog_win32.h"
#include "app/coordinate_system_box_win32.h"
#include "app/main_commands.h"
#include "app/main_window_win32.h"
#include "document/encoding.h"
#include "document/declared_encoding.h"
#include "document/file_io.h"
#include "document/text_io.h"
#include "document/wide_text_win32.h"
#include "mif/analysis.h"
#include "tags/tag_index.h"

namespace {

int checks = 0;
int failures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  std::fflush(stdout);
  ++checks;
  if (!ok) ++failures;
}

// (<chrono> cannot be compiled with the GBK charset: it holds a micro sign.)
bool WaitFor(const std::function<bool()>& condition, int seconds = 30) {
  ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  while (GetTickCount64() < deadline) {
    if (condition()) return true;
    Sleep(100);
  }
  return false;
}

DWORD process_id = 0;
HWND main_window = nullptr;

std::wstring ClassOf(HWND h) {
  wchar_t name[64] = {};
  GetClassNameW(h, name, 64);
  return name;
}

// A visible dialog (file dialog or message box) of Geovant's process, other than `other`.
HWND FindDialog(HWND other = nullptr) {
  struct Search {
    HWND other, found = nullptr;
  } search{other};
  EnumWindows(
      [](HWND h, LPARAM p) -> BOOL {
        auto* search = reinterpret_cast<Search*>(p);
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (pid == process_id && h != search->other && IsWindowVisible(h) && ClassOf(h) == L"#32770") {
          search->found = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitDialog(HWND other = nullptr) {
  HWND dialog = nullptr;
  WaitFor([&] { return (dialog = FindDialog(other)) != nullptr; });
  Sleep(500);  // let it finish setting up
  return dialog;
}

void WaitDialogGone(HWND dialog) {
  WaitFor([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); });
}

std::wstring ControlText(HWND control) {
  LRESULT length = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  LRESULT got = SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

// A text box of the main window as the program reads it: ANSI.
std::string Item(int id) { return WideToAnsi(ControlText(GetDlgItem(main_window, id))); }

// The main window's caption, UTF-8.
std::string Title() { return WideToUtf8(ControlText(main_window)); }

void Press(int id, int notification = BN_CLICKED) {
  PostMessageW(main_window, WM_COMMAND, MAKEWPARAM(id, notification),
               reinterpret_cast<LPARAM>(GetDlgItem(main_window, id)));
}

std::string Utf8Environment(const wchar_t* name) {
  const wchar_t* value = _wgetenv(name);
  return value ? WideToUtf8(value) : "";
}

// When GEOVANT_SHOTS names a folder, saves the part of the screen that shows Geovant's window
// and its dialog there, as NAME.bmp: the screenshots of the user guide.
void Shot(const char* name) {
  const std::string folder = Utf8Environment(L"GEOVANT_SHOTS");
  if (folder.empty() || !main_window) return;
  Sleep(700);  // let the window finish drawing
  RECT area;
  GetWindowRect(main_window, &area);
  if (HWND dialog = FindDialog()) {
    RECT box;
    GetWindowRect(dialog, &box);
    UnionRect(&area, &area, &box);
  }
  InflateRect(&area, 10, 10);
  area.left = std::max<LONG>(area.left, 0);
  area.top = std::max<LONG>(area.top, 0);
  area.right = std::min<LONG>(area.right, GetSystemMetrics(SM_CXSCREEN));
  area.bottom = std::min<LONG>(area.bottom, GetSystemMetrics(SM_CYSCREEN));
  const int width = area.right - area.left, height = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  SelectObject(memory, previous);
  BITMAPINFOHEADER header = {sizeof header, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::string pixels(static_cast<size_t>((width * 3 + 3) & ~3) * static_cast<size_t>(height), '\0');
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
            DIB_RGB_COLORS);
  BITMAPFILEHEADER file = {0x4D42, static_cast<DWORD>(sizeof file + sizeof header + pixels.size()), 0, 0,
                           sizeof file + sizeof header};
  std::string bmp(reinterpret_cast<const char*>(&file), sizeof file);
  bmp.append(reinterpret_cast<const char*>(&header), sizeof header);
  bmp += pixels;
  WriteWholeFile(folder + "\\" + name + ".bmp", bmp);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

// Answers a message box with OK and returns its text, UTF-8.
std::string AnswerMessageBox(const char* shot = nullptr) {
  HWND box = WaitDialog();
  if (!box) return "(no message box)";
  if (shot) Shot(shot);
  std::string text = WideToUtf8(ControlText(GetDlgItem(box, 0xFFFF)));
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  WaitDialogGone(box);
  return text;
}

// Answers a question box with Yes or No and returns its text, UTF-8.
std::string AnswerQuestion(bool yes, const char* shot = nullptr) {
  HWND box = WaitDialog();
  if (!box) return "(no question)";
  if (shot) Shot(shot);
  std::string text = WideToUtf8(ControlText(GetDlgItem(box, 0xFFFF)));
  int button = yes ? IDYES : IDNO;
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
  WaitDialogGone(box);
  return text;
}

// Chooses the item at `index` of the menu 文件 with the keyboard, as a user without a mouse does.
bool ChooseMenuItem(int index) {
  PostMessageW(main_window, WM_SYSCOMMAND, SC_KEYMENU, 0);
  Sleep(300);
  auto key = [](WPARAM vk) {
    PostMessageW(main_window, WM_KEYDOWN, vk, 0);
    Sleep(200);
  };
  key(VK_DOWN);  // opens the popup of the one menu
  HWND popup = nullptr;
  if (!WaitFor([&] { return (popup = FindWindowW(L"#32768", nullptr)) != nullptr && IsWindowVisible(popup); }, 5)) {
    return false;
  }
  key(VK_HOME);
  for (int i = 0; i < index; ++i) key(VK_DOWN);
  key(VK_RETURN);
  return true;
}

// Starts Geovant.exe with the files given as its arguments, and waits for its window.
bool Start(const std::string& geovant, PROCESS_INFORMATION* pi, const std::vector<std::string>& files = {}) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  std::wstring line = L"\"" + Utf8ToWide(geovant) + L"\"";
  for (const std::string& file : files) line += L" \"" + Utf8ToWide(file) + L"\"";
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, pi)) return false;
  process_id = pi->dwProcessId;
  main_window = nullptr;
  return WaitFor([] { return (main_window = FindWindowW(kMainWindowClass, nullptr)) != nullptr; });
}

// Closes the window and tells whether the program ended with exit code 0.
bool CloseAndEnd(PROCESS_INFORMATION& pi) {
  PostMessageW(main_window, WM_CLOSE, 0, 0);
  DWORD code = 1;
  bool ended = WaitForSingleObject(pi.hProcess, 20000) == WAIT_OBJECT_0 && GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  main_window = nullptr;
  return ended && code == 0;
}

// The 坐标系 list, the zone box and 不加带号 of the export's Save dialog, set as a user sets
// them; true when the zone box is enabled for the Gauss-Krüger items alone.
bool ChooseCoordinateSystem(HWND dialog, int item, const std::string& zone, bool no_zone_prefix) {
  HWND box = FindWindowExW(dialog, nullptr, L"#32770", nullptr);
  HWND list = box ? GetDlgItem(box, kIdCoordinateSystem) : nullptr;
  if (!list) return false;
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
  SendMessageW(box, WM_COMMAND, MAKEWPARAM(kIdCoordinateSystem, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
  SendMessageW(GetDlgItem(box, kIdZone), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Utf8ToWide(zone).c_str()));
  SendMessageW(GetDlgItem(box, kIdNoZonePrefix), BM_SETCHECK, no_zone_prefix ? BST_CHECKED : BST_UNCHECKED, 0);
  return (IsWindowEnabled(GetDlgItem(box, kIdZone)) != FALSE) == (item >= 3);
}

// The item of the 坐标系 list shown, or -1 for none.
int ShownCoordinateSystem(HWND dialog) {
  HWND box = FindWindowExW(dialog, nullptr, L"#32770", nullptr);
  return box ? static_cast<int>(SendDlgItemMessageW(box, kIdCoordinateSystem, CB_GETCURSEL, 0, 0)) : -1;
}

// Chooses the 1-based file type in the dialog's list of types.
void ChooseFileType(HWND dialog, int file_type) {
  HWND types = GetDlgItem(dialog, 0x470);
  SendMessageW(types, CB_SETCURSEL, static_cast<WPARAM>(file_type - 1), 0);
  // What a choice made with the mouse notifies; Wine's dialog takes the type on SELENDOK.
  for (WORD notification : {CBN_SELCHANGE, CBN_SELENDOK}) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(0x470, notification), reinterpret_cast<LPARAM>(types));
  }
}

void TypeFileName(HWND dialog, const std::string& path) {
  // For the screenshots, the name alone, as a user types it: the dialogs open in the folder
  // of the test's files.
  std::string typed = Utf8Environment(L"GEOVANT_SHOTS").empty() ? path : path.substr(path.rfind('\\') + 1);
  SendMessageW(GetDlgItem(dialog, 0x47C), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Utf8ToWide(typed).c_str()));
}

void PressOk(HWND dialog) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

// Types `path` into a file dialog and confirms it.
// `file_type`, when given, is the 1-based file type chosen in the dialog's list of types;
// `prepare`, when given, sets the dialog's other controls first.
bool AnswerFileDialog(const std::string& path, const char* shot = nullptr, int file_type = 0,
                      const std::function<bool(HWND)>& prepare = nullptr) {
  HWND dialog = WaitDialog();
  if (!dialog || !GetDlgItem(dialog, 0x47C)) return false;
  if (file_type > 0) ChooseFileType(dialog, file_type);
  if (prepare && !prepare(dialog)) return false;
  TypeFileName(dialog, path);
  if (shot) Shot(shot);
  PressOk(dialog);
  WaitDialogGone(dialog);
  return true;
}

// The text length of every item of the tag list. (Wine's marshalling of LB_GETTEXT across
// processes crashes the caller, so the texts themselves are checked through the extraction.)
std::vector<size_t> ListItemLengths() {
  HWND list = GetDlgItem(main_window, kId列表框2);
  std::vector<size_t> lengths;
  LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    lengths.push_back(static_cast<size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)));
  }
  return lengths;
}

std::string ReadBytes(const std::string& path) {
  std::string bytes;
  ReadWholeFile(path, &bytes);
  return bytes;
}

bool Run(const std::string& command_line) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  std::wstring line = Utf8ToWide(command_line);
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  WaitForSingleObject(pi.hProcess, 60000);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code == 0;
}

double SecondsSince(ULONGLONG start) { return static_cast<double>(GetTickCount64() - start) / 1000.0; }

}  // namespace

int main() {
  int argc = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::string> argv;
  for (int i = 0; i < argc; ++i) argv.push_back(WideToUtf8(wide[i]));
  if (argc != 7) {
    std::fprintf(stderr, "usage: geovant_e2e GEOVANT_EXE GEOVANT_CLI_EXE UTF8_KML GBK_KML KOREAN_KML WORK_FOLDER\n");
    return 2;
  }
  const std::string geovant = argv[1], cli = argv[2], kml = argv[3], gbk_kml = argv[4], korean_kml = argv[5],
                    work = argv[6];
  auto quoted = [](const std::string& path) { return "\"" + path + "\""; };

  PROCESS_INFORMATION pi;
  Check(Start(geovant, &pi) && CloseAndEnd(pi), "started and closed at once, the program ends with exit code 0");
  Check(Start(geovant, &pi), "the main window appears");
  if (!main_window) return 1;
  Check(Title() == "Geovant 3.16", "the title names the program alone before any Open");
  Shot("01-start");

  // The expected texts, from the same core the program uses.
  const std::string document = Utf8ToAnsi(ReadBytes(kml));
  Pattern tag_pattern;
  tag_pattern.Compile(kTagPattern);
  const std::vector<std::string> tags = BuildTagIndex(tag_pattern, document);
  const std::string kml_name = kml.substr(kml.rfind('\\') + 1);

  // Open with the UTF-8 choice.
  Check(SendMessageW(GetDlgItem(main_window, kId单选框6), BM_GETCHECK, 0, 0) == BST_CHECKED, "UTF8 is chosen at start");
  Press(kId按钮1);
  Check(AnswerFileDialog(kml, "02-open-dialog"), "the Open dialog takes the file");
  ULONGLONG opened = GetTickCount64();
  WaitFor([&] { return SendMessageW(GetDlgItem(main_window, kId列表框2), LB_GETCOUNT, 0, 0) == static_cast<LRESULT>(tags.size()); });
  std::printf("     open to filled tag list: %.2f s\n", SecondsSince(opened));
  Check(Item(kId编辑框1) == document, "the document box holds the file as GBK");
  Check(Title() == kml_name + " - Geovant 3.16", "the title names the document");
  std::vector<size_t> tag_lengths;
  for (const std::string& tag : tags) tag_lengths.push_back(AnsiToWide(tag).size());
  Check(ListItemLengths() == tag_lengths, "the tag list holds every opening tag (" + std::to_string(tags.size()) + ")");
  Shot("03-document");

  // Select a tag.
  size_t index = 0;
  while (index < tags.size() && tags[index] != "<Placemark>") ++index;
  if (index == tags.size()) index = tags.size() / 2;
  SendMessageW(GetDlgItem(main_window, kId列表框2), LB_SETCURSEL, index, 0);
  Press(kId列表框2, LBN_SELCHANGE);
  std::string extracted = ExtractElements(tags[index], document);
  Check(WaitFor([&] { return Item(kId编辑框2) == extracted; }, 10), "selecting " + tags[index] + " shows its elements");
  Shot("04-tag-selected");

  // The three analyses.
  const std::pair<int, GeometryKind> analyses[] = {
      {kId按钮4, GeometryKind::kPoint}, {kId按钮5, GeometryKind::kLine}, {kId按钮6, GeometryKind::kPolygon}};
  for (const auto& [button, kind] : analyses) {
    GeometryState state;
    AnalysisReport expected = Analyse(state, kind, MakeDocument(document));
    Press(button);
    Check(AnswerMessageBox(button == kId按钮4 ? "05-point-analysis" : nullptr) == AnsiToUtf8(expected.message),
          "analysis message: " + std::to_string(expected.count));
    Check(WaitFor([&] { return Item(kId编辑框2) == expected.result_text; }, 10), "analysis result box");
  }

  // Export, compared with the command line.
  // The command line writes beside the work folder, out of the dialogs' sight.
  const std::string cli_out = work + "\\..\\cli";
  CreateDirectoryW(Utf8ToWide(cli_out).c_str(), nullptr);
  const std::string exported = work + Ui(u8"\\北京.mif"), reference = cli_out + "\\reference.mif";
  Press(kId按钮7);
  ULONGLONG export_started = GetTickCount64();
  Check(AnswerMessageBox("06-export-done") == Ui(u8"解析完毕 "), "the export reports that parsing is done");
  std::printf("     export until its message: %.2f s\n", SecondsSince(export_started));
  Check(AnswerFileDialog(work + Ui(u8"\\北京"), "07-export-save"), "the Save dialog takes the MIF name");
  const std::string written_message = AnswerMessageBox("12-export-written");
  Check(written_message.find(Ui(u8"已写入：\r\n  北京.mif\r\n")) == 0, "the message after writing names 北京.mif");
  Check(WaitFor([&] { return !ReadBytes(exported).empty(); }), "北京.mif is written (no doubled extension)");
  Check(Run(quoted(cli) + " convert -o " + quoted(reference) + " " + quoted(kml)), "geovant-cli converts the same file");
  Check(ReadBytes(exported) == ReadBytes(reference), "the window's MIF equals the command line's, byte for byte");

  // The second file type: the MIF and MID files of the full conversion, as convert --all writes them,
  // in WGS 84, as the guide advises for QGIS.
  const std::string with_attributes = work + Ui(u8"\\北京属性");
  Press(kId按钮7);
  Check(AnswerMessageBox() == Ui(u8"解析完毕 "), "the export reports that parsing is done, whatever the file type");
  Check(AnswerFileDialog(with_attributes, "09-export-attributes", 2,
                         [](HWND d) { return ChooseCoordinateSystem(d, 1, "", false); }),
        "the Save dialog takes the name, the second file type and WGS 84");
  Check(AnswerMessageBox().find(Ui(u8"  北京属性.mid\r\n")) != std::string::npos, "the message names the MID file too");
  Check(WaitFor([&] { return !ReadBytes(with_attributes + ".mid").empty(); }), "北京属性.mif and 北京属性.mid are written");
  Check(Run(quoted(cli) + " convert --all --crs wgs84 -o " + quoted(cli_out + "\\reference-all.mif") + " " + quoted(kml)),
        "geovant-cli converts the same file with --all --crs wgs84");
  Check(ReadBytes(with_attributes + ".mif") == ReadBytes(cli_out + "\\reference-all.mif") &&
            ReadBytes(with_attributes + ".mid") == ReadBytes(cli_out + "\\reference-all.mid"),
        "the window's MIF and MID equal the command line's, byte for byte");

  // The third file type: MapInfo's native table of the same conversion, its four files as
  // convert --all --tab writes them.
  const std::string table = work + Ui(u8"\\北京表");
  Press(kId按钮7);
  AnswerMessageBox();
  Check(AnswerFileDialog(table, nullptr, 3, [](HWND d) { return ChooseCoordinateSystem(d, 1, "", false); }),
        "the Save dialog takes the name, the table's file type and WGS 84");
  Check(AnswerMessageBox().find(Ui(u8"  北京表.tab\r\n  北京表.dat\r\n  北京表.map\r\n  北京表.id\r\n")) != std::string::npos,
        "the message names the table's four files");
  Check(WaitFor([&] { return !ReadBytes(table + ".id").empty(); }), "北京表.tab, .dat, .map and .id are written");
  Check(Run(quoted(cli) + " convert --all --crs wgs84 -o " + quoted(cli_out + "\\reference.tab") + " " + quoted(kml)),
        "geovant-cli writes the table of the same file with --all --crs wgs84");
  for (const char* extension : {".tab", ".dat", ".map", ".id"}) {
    Check(!ReadBytes(table + extension).empty() && ReadBytes(table + extension) == ReadBytes(cli_out + "\\reference" + extension),
          "the window's table equals the command line's, byte for byte");
  }

  // The coordinate system chosen in the Save dialog, with either file type, as convert --crs
  // writes it; the choice is offered again, and a wrong zone keeps the dialog open.
  Press(kId按钮7);
  AnswerMessageBox();
  Check(AnswerFileDialog(work + Ui(u8"\\北京高斯"), "10-export-coordinate-system", 1,
                         [](HWND d) { return ChooseCoordinateSystem(d, 3, "", false); }),
        "the Save dialog takes Gauss-Krüger zones of 3 degrees");
  Check(AnswerMessageBox("13-export-zone").find(Ui(u8"第 39 带（中央经线 117°")) != std::string::npos,
        "the message names the zone the data chose and its central meridian");
  Check(WaitFor([&] { return !ReadBytes(work + Ui(u8"\\北京高斯.mif")).empty(); }), "北京高斯.mif is written");
  Check(Run(quoted(cli) + " convert --crs gk3 -o " + quoted(cli_out + "\\reference-gk3.mif") + " " + quoted(kml)),
        "geovant-cli converts the same file with --crs gk3");
  Check(ReadBytes(work + Ui(u8"\\北京高斯.mif")) == ReadBytes(cli_out + "\\reference-gk3.mif"),
        "the window's projected MIF equals the command line's, byte for byte");
  Press(kId按钮7);
  AnswerMessageBox();
  int offered = -1;
  Check(AnswerFileDialog(work + "\\gk6", nullptr, 2,
                         [&](HWND d) {
                           offered = ShownCoordinateSystem(d);
                           return ChooseCoordinateSystem(d, 4, "20", true);
                         }),
        "the Save dialog takes zone 20 of 6 degrees without its number, and the second file type");
  AnswerMessageBox();
  Check(offered == 3, "the coordinate system chosen last is offered again");
  Check(WaitFor([&] { return !ReadBytes(work + "\\gk6.mid").empty(); }), "gk6.mif and gk6.mid are written");
  Check(Run(quoted(cli) + " convert --all --crs gk6:20 --no-zone-prefix -o " + quoted(cli_out + "\\reference-gk6.mif") +
            " " + quoted(kml)),
        "geovant-cli converts the same file with --all --crs gk6:20 --no-zone-prefix");
  Check(ReadBytes(work + "\\gk6.mif") == ReadBytes(cli_out + "\\reference-gk6.mif") &&
            ReadBytes(work + "\\gk6.mid") == ReadBytes(cli_out + "\\reference-gk6.mid"),
        "the window's projected MIF and MID equal the command line's, byte for byte");
  Press(kId按钮7);
  AnswerMessageBox();
  {
    HWND dialog = WaitDialog();
    Check(ChooseCoordinateSystem(dialog, 3, "46", false), "zone 46 is typed");
    TypeFileName(dialog, work + "\\wrong-zone");
    PressOk(dialog);
    HWND refusal = WaitDialog(dialog);
    Check(refusal && WideToUtf8(ControlText(GetDlgItem(refusal, 0xFFFF))) ==
                         Ui(u8"带号应为 25 至 45 之间的整数；留空则按数据的经度自动选择。"),
          "a zone that is none of the 3-degree zones is refused with the zones named");
    if (refusal) PostMessageW(refusal, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(refusal, IDOK)));
    if (refusal) WaitDialogGone(refusal);
    Check(IsWindowVisible(dialog) && ReadBytes(work + "\\wrong-zone.mif").empty(), "the dialog stays open, nothing written");
    ChooseCoordinateSystem(dialog, 0, "", false);  // back to the default item for the checks below
    ChooseFileType(dialog, 1);
    PressOk(dialog);
    WaitDialogGone(dialog);
    AnswerMessageBox();
    Check(WaitFor([&] { return ReadBytes(work + "\\wrong-zone.mif") == ReadBytes(reference); }),
          "the first item, of no datum, writes the default MIF file");
  }

  // Save and Save As: the document saved unchanged is the file that was opened.
  const std::string saved_bytes = ReadBytes(kml);
  // Replacing asks about the file that will be written; No writes nothing.
  WriteWholeFile(kml, "old");
  Press(kId按钮2);
  Check(AnswerFileDialog(kml.substr(0, kml.size() - 4)), "the Save dialog takes the name of the file opened");
  Check(AnswerQuestion(false, "08-replace-question") == ReplaceQuestion({kml}), "the question names " + kml_name);
  Sleep(500);
  Check(ReadBytes(kml) == "old", "No leaves the file as it was");
  WriteWholeFile(kml, saved_bytes);
  Press(kId按钮2);
  Check(AnswerFileDialog(work + "\\saved"), "the Save dialog takes a name");
  Check(WaitFor([&] { return ReadBytes(work + "\\saved.kml") == saved_bytes; }), "Save writes saved.kml in UTF-8, as declared");
  Press(kId按钮3);
  Check(AnswerFileDialog(work + Ui(u8"\\另存为.txt")), "the Save As dialog takes a name");
  Check(WaitFor([&] { return ReadBytes(work + Ui(u8"\\另存为.txt")) == saved_bytes; }), "Save As writes the name as given");

  // The same commands from the menu, through the keyboard.
  Check(ChooseMenuItem(1), "the menu opens");
  Check(AnswerFileDialog(work + "\\menu-saved"), "menu 保存 shows the Save dialog");
  Check(WaitFor([&] { return ReadBytes(work + "\\menu-saved.kml") == saved_bytes; }), "menu 保存 writes menu-saved.kml");
  Check(ChooseMenuItem(2), "the menu opens again");
  Check(AnswerFileDialog(work + "\\menu-saved-as.txt"), "menu 另存为 shows the Save As dialog");
  Check(WaitFor([&] { return ReadBytes(work + "\\menu-saved-as.txt") == saved_bytes; }), "menu 另存为 writes the name as given");


  // A file that declares GBK shows its Chinese with the UTF-8 choice.
  Press(kId按钮1);
  Check(AnswerFileDialog(gbk_kml), "the Open dialog takes the GBK file");
  const std::string gbk_document = BytesAsAnsiText(ReadBytes(gbk_kml));
  Check(WaitFor([&] { return Item(kId编辑框1) == gbk_document; }, 10), "a file that declares GBK is read as GBK");

  // A name that GBK lacks opens and exports.
  Press(kId按钮1);
  Check(AnswerFileDialog(korean_kml), "the Open dialog takes a Korean file name");
  Check(WaitFor([&] { return Item(kId编辑框1) == document; }, 10), "the file under a Korean name opens");
  const std::string korean_mif = korean_kml.substr(0, korean_kml.size() - 4) + ".mif";
  Press(kId按钮7);
  AnswerMessageBox();
  Check(AnswerFileDialog(korean_mif, nullptr, 1), "the Save dialog takes a Korean name and the MIF type");
  AnswerMessageBox();
  Check(WaitFor([&] { return ReadBytes(korean_mif) == ReadBytes(reference); }), "the MIF under a Korean name is written");

  // Open takes exactly the name typed.
  WriteWholeFile(work + "\\roads", "<kml>roads</kml>");
  WriteWholeFile(work + "\\roads.kml", "<kml>roads.kml</kml>");
  Press(kId按钮1);
  Check(AnswerFileDialog(work + "\\roads"), "the Open dialog takes a name without extension");
  Check(WaitFor([&] { return Item(kId编辑框1) == "<kml>roads</kml>"; }, 10), "Open reads the file named, not roads.kml");

  Check(CloseAndEnd(pi), "closing the window ends the program with exit code 0");

  // "Open with": the file named on the command line opens as the Open button opens it.
  Check(Start(geovant, &pi, {kml}), "started with the KML file as its argument");
  Check(WaitFor([&] { return Item(kId编辑框1) == document; }, 20), "the document box holds the file named");
  Check(ListItemLengths().size() == tags.size(), "the tag list holds its tags");
  Check(CloseAndEnd(pi), "and it closes");

  // Several files as arguments: one dialog of the choices, one summary, even when the last is a
  // Google Earth track of 5,000 tuples on one line.
  std::string track = "<kml><Placemark><name>Track</name><LineString><coordinates>";
  for (int i = 0; i < 5000; ++i) track += "116." + std::to_string(300000 + i) + ",39.9" + std::to_string(10000 + i) + ",0 ";
  const std::string track_kml = work + Ui(u8"\\轨迹.kml");
  WriteWholeFile(track_kml, track + "</coordinates></LineString></Placemark></kml>\n");
  // Named as a user types them in the folder of the files, where the test runs.
  Check(Start(geovant, &pi, {kml_name, gbk_kml.substr(gbk_kml.rfind('\\') + 1), Ui(u8"轨迹.kml")}),
        "started with three files named relative to its folder");
  HWND batch = WaitDialog();
  Check(batch && GetDlgItem(batch, kIdBatchFileType), "the batch asks for its choices first");
  Shot("14-batch-dialog");
  if (batch) PressOk(batch);
  WaitDialogGone(batch);
  Check(AnswerQuestion(true).find(Ui(u8"北京.mif")) != std::string::npos, "the batch asks before it replaces 北京.mif");
  const std::string summary = AnswerMessageBox("15-batch-summary");
  Check(summary.find(Ui(u8"已转换 3 个文件（共 3 个）")) == 0, "the summary counts the three files");
  Check(WaitFor([&] { return Title() == Ui(u8"轨迹.kml - Geovant 3.16"); }, 20), "the last file is opened after the batch");
  Check(ReadBytes(track_kml.substr(0, track_kml.size() - 4) + ".mif").find("Pline 5000\r\n") != std::string::npos,
        "the track is written as a line of 5,000 vertices");
  Check(CloseAndEnd(pi), "and it closes");
  std::printf("%d passed, %d failed\n", checks - failures, failures);
  return failures == 0 ? 0 : 1;
}
