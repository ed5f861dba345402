#include "app/main_window_win32.h"

#include <shellapi.h>
#include <uxtheme.h>

#include <algorithm>
#include <exception>
#include <new>
#include <string>

#include "app/main_view_win32.h"
#include "app/text_view_win32.h"
#include "document/wide_text_win32.h"
#include "layout/anchor_win32.h"

const wchar_t kMainWindowCaption[] = L"Geovant " GEOVANT_VERSION;
const wchar_t kMainWindowClass[] = L"GeovantMainWindow";

// The window's view and commands. A handler that shows a dialog or a message box runs the
// message loop inside it, where a close of the window may arrive: the close waits until the
// handler has returned, so that no handler ever finds its window object gone.
class MainWindow {
 public:
  MainWindow(HWND window, GeometryState& geometry) : window_(window), view_(window), commands_(view_, geometry) {}
  HWND window() const { return window_; }
  MainCommands& commands() { return commands_; }
  MainView& view() { return view_; }

  void EnterHandler() { ++handlers_running_; }
  // Carries out a close that arrived while the handler ran; the object may be gone after it.
  void LeaveHandler() {
    if (--handlers_running_ > 0 || !close_waiting_) return;
    close_waiting_ = false;
    if (ConfirmClose()) DestroyWindow(window_);
  }
  // False when the close must wait for the running handlers.
  bool MayCloseNow() {
    close_waiting_ = handlers_running_ > 0;
    return !close_waiting_;
  }
  // Asks about unsaved edits, as a handler of its own; false keeps the window. A close asked
  // for while the question is up is the same close.
  bool ConfirmClose() {
    ++handlers_running_;
    bool may = false;
    try {
      may = commands_.OnCloseRequested();
    } catch (...) {
      may = true;  // nothing could be saved: the close the user asked for goes on
    }
    --handlers_running_;
    close_waiting_ = false;
    return may;
  }

 private:
  HWND window_;
  Win32MainView view_;
  MainCommands commands_;
  int handlers_running_ = 0;
  bool close_waiting_ = false;
};

HWND WindowOf(MainWindow* window) { return window->window(); }
MainCommands& CommandsOf(MainWindow* window) { return window->commands(); }
MainView& ViewOf(MainWindow* window) { return window->view(); }

int ControlIdOf(Control c) {
  switch (c) {
    case Control::编辑框1: return kId编辑框1;
    case Control::编辑框2: return kId编辑框2;
    case Control::列表框2: return kId列表框2;
    case Control::单选框5: return kId单选框5;
    case Control::单选框6: return kId单选框6;
  }
  return 0;
}

int LargeTwinIdOf(Control c) {
  switch (c) {
    case Control::编辑框1: return kIdLarge编辑框1;
    case Control::编辑框2: return kIdLarge编辑框2;
    default: return 0;
  }
}

namespace {

struct ControlDesign {
  int id;
  const wchar_t* window_class;
  const wchar_t* caption;
  int left, top, width, height;  // at 96 DPI
  DWORD style;
  DWORD ex_style;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kButton = kChild | WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER;
// Labels: their one line centred on the radio button beside them.
constexpr DWORD kLabel = kChild | SS_LEFT | SS_CENTERIMAGE;
// Multi-line, wrapped (no horizontal scroll bar), selection hidden without focus; Enter
// inserts a line break even though the window handles Tab as a dialog does.
constexpr DWORD kTextBox = kChild | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_LEFT | ES_WANTRETURN;
// Its stand-in for large texts, hidden until one comes.
constexpr DWORD kLargeTextBox = WS_CHILD | WS_TABSTOP | WS_VSCROLL;

// In creation order, which is also the order of keyboard focus.
const ControlDesign kControls[] = {
    {kId按钮1, L"BUTTON", L"打开", 24, 8, 40, 32, kButton | WS_GROUP, 0},
    {kId按钮2, L"BUTTON", L"保存", 84, 8, 40, 32, kButton, 0},
    {kId按钮3, L"BUTTON", L"另存为", 144, 8, 40, 32, kButton, 0},
    {kId单选框5, L"BUTTON", L"", 200, 16, 16, 16, kChild | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 0},
    {kId标签7, L"STATIC", L"ANSI", 224, 8, 40, 32, kLabel, 0},
    {kId单选框6, L"BUTTON", L"", 280, 8, 16, 32, kChild | WS_TABSTOP | BS_AUTORADIOBUTTON, 0},
    {kId标签8, L"STATIC", L"UTF8", 312, 8, 40, 32, kLabel, 0},
    {kId按钮4, L"BUTTON", L"点分析", 384, 8, 48, 32, kButton | WS_GROUP, 0},
    {kId按钮5, L"BUTTON", L"线分析", 453, 8, 48, 32, kButton, 0},
    {kId按钮6, L"BUTTON", L"面分析", 522, 8, 48, 32, kButton, 0},
    {kId按钮7, L"BUTTON", L"生成MIF", 592, 8, 48, 32, kButton, 0},
    {kId编辑框1, L"EDIT", L"", 16, 56, 656, 280, kTextBox, WS_EX_CLIENTEDGE},
    {kIdLarge编辑框1, kTextViewClass, L"", 16, 56, 656, 280, kLargeTextBox, WS_EX_CLIENTEDGE},
    {kId列表框2, L"LISTBOX", L"", 16, 360, 160, 216,
     kChild | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS, WS_EX_CLIENTEDGE},
    {kId编辑框2, L"EDIT", L"", 192, 360, 472, 216, kTextBox, WS_EX_CLIENTEDGE},
    {kIdLarge编辑框2, kTextViewClass, L"", 192, 360, 472, 216, kLargeTextBox, WS_EX_CLIENTEDGE},
};

// The event table: which control's notification starts which command.
struct EventRow {
  int id;
  int notification;  // BN_CLICKED and menu commands are 0
  void (*handler)(MainCommands&);
  const char8_t* action;  // what the user asked for, in the message of a failure
};

const EventRow kEvents[] = {
    {kId按钮1, BN_CLICKED, [](MainCommands& c) { c.OnOpenButton(); }, u8"打开"},
    {kId按钮2, BN_CLICKED, [](MainCommands& c) { c.OnSave(); }, u8"保存"},
    {kId按钮3, BN_CLICKED, [](MainCommands& c) { c.OnSaveAs(); }, u8"另存为"},
    {kId按钮4, BN_CLICKED, [](MainCommands& c) { c.OnAnalyse(GeometryKind::kPoint); }, u8"点分析"},
    {kId按钮5, BN_CLICKED, [](MainCommands& c) { c.OnAnalyse(GeometryKind::kLine); }, u8"线分析"},
    {kId按钮6, BN_CLICKED, [](MainCommands& c) { c.OnAnalyse(GeometryKind::kPolygon); }, u8"面分析"},
    {kId按钮7, BN_CLICKED, [](MainCommands& c) { c.OnExportMif(); }, u8"生成MIF"},
    {kId列表框2, LBN_SELCHANGE, [](MainCommands& c) { c.OnTagSelected(); }, u8"提取"},
    {kIdMenuOpen, 0, [](MainCommands& c) { c.OnOpenMenu(); }, u8"打开"},
    {kIdMenuSave, 0, [](MainCommands& c) { c.OnSave(); }, u8"保存"},
    {kIdMenuSaveAs, 0, [](MainCommands& c) { c.OnSaveAs(); }, u8"另存为"},
    {kIdMenuExit, 0, [](MainCommands& c) { c.OnExit(); }, u8"退出"},
    {kIdMenuGuide, 0, [](MainCommands& c) { c.OnUserGuide(); }, u8"用户指南"},
    {kIdMenuAbout, 0, [](MainCommands& c) { c.OnAbout(); }, u8"关于"},
    {kIdKeyOpen, 1, [](MainCommands& c) { c.OnOpenButton(); }, u8"打开"},
    {kIdMenuSave, 1, [](MainCommands& c) { c.OnSave(); }, u8"保存"},
};

HMENU CreateMainMenu() {
  HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, kIdMenuOpen, L"打开");
  AppendMenuW(file, MF_STRING, kIdMenuSave, L"保存\tCtrl+S");
  AppendMenuW(file, MF_STRING, kIdMenuSaveAs, L"另存为");
  AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(file, MF_STRING, kIdMenuExit, L"退出");
  HMENU help = CreatePopupMenu();
  AppendMenuW(help, MF_STRING, kIdMenuGuide, L"用户指南");
  AppendMenuW(help, MF_STRING, kIdMenuAbout, L"关于");
  HMENU bar = CreateMenu();
  AppendMenuW(bar, MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"文件");
  AppendMenuW(bar, MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"帮助");
  return bar;
}

// Ctrl+O and Ctrl+S; WM_COMMAND brings them with the notification 1.
HACCEL Accelerators() {
  static HACCEL table = [] {
    ACCEL keys[] = {{FVIRTKEY | FCONTROL, 'O', kIdKeyOpen}, {FVIRTKEY | FCONTROL, 'S', kIdMenuSave}};
    return CreateAcceleratorTableW(keys, 2);
  }();
  return table;
}

// Runs one command; the window object may be gone afterwards (a close that waited for it).
template <typename Handler>
void RunHandler(MainWindow& window, const std::string& action, Handler handler) {
  window.EnterHandler();
  // No exception may leave the window procedure; the core throws none, but memory may run out.
  try {
    handler(window.commands());
  } catch (...) {
    MessageBoxW(window.window(), Utf8ToWide(FailureMessage(action, std::current_exception())).c_str(),
                kMainWindowCaption, MB_OK | MB_ICONERROR);
  }
  window.LeaveHandler();
}

void Dispatch(MainWindow& window, int id, int notification) {
  for (const EventRow& row : kEvents) {
    if (row.id == id && row.notification == notification) return RunHandler(window, Ui(row.action), row.handler);
  }
}

// The files dropped on the window, in the order the shell gives them.
std::vector<std::string> DroppedFiles(HDROP drop) {
  std::vector<std::string> paths;
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    UINT length = DragQueryFileW(drop, i, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    path.resize(DragQueryFileW(drop, i, path.data(), length + 1));
    if (!path.empty()) paths.push_back(WideToUtf8(path));
  }
  DragFinish(drop);
  return paths;
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* window = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
      if (window) Dispatch(*window, LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_CLOSE:
      // Unsaved edits are asked about first; a close during a command waits for it.
      if (window && (!window->MayCloseNow() || !window->ConfirmClose())) return 0;
      break;
    case WM_DROPFILES: {
      std::vector<std::string> paths = DroppedFiles(reinterpret_cast<HDROP>(wparam));
      if (window && !paths.empty()) OpenGivenFiles(window, paths);
      return 0;
    }
    case WM_DESTROY:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      delete window;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

bool RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSEXW wc = {};
  if (GetClassInfoExW(instance, kMainWindowClass, &wc)) return true;
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), 0));
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMainWindowClass;
  return RegisterClassExW(&wc) != 0;
}

bool IsTextBox(HWND window, HWND control) {
  if (!control) return false;
  for (int id : {kId编辑框1, kId编辑框2, kIdLarge编辑框1, kIdLarge编辑框2}) {
    if (control == GetDlgItem(window, id)) return true;
  }
  return false;
}

bool IsKey(const MSG& msg, WPARAM key) {
  return (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_CHAR) && msg.wParam == key;
}

// A push button whose caption does not fit grows to the right, as far as the next control
// allows: the designed widths were made for a narrower font.
void FitCaption(HWND button, int right_limit, HFONT font) {
  std::wstring caption(static_cast<size_t>(GetWindowTextLengthW(button)) + 1, L'\0');
  caption.resize(static_cast<size_t>(GetWindowTextW(button, caption.data(), static_cast<int>(caption.size()))));
  HDC dc = GetDC(button);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE text{};
  GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
  SelectObject(dc, old);
  ReleaseDC(button, dc);
  // The frame and the focus rectangle take about 4 px a side at 96 DPI.
  const int needed = text.cx + 2 * (GetSystemMetrics(SM_CXEDGE) + 3);
  RECT r;
  GetWindowRect(button, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(button), reinterpret_cast<POINT*>(&r), 2);
  const int width = r.right - r.left;
  if (needed <= width) return;
  SetWindowPos(button, nullptr, 0, 0, std::min<int>(needed, right_limit - r.left), r.bottom - r.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

int ScaleForDpi(int designed, int dpi) { return MulDiv(designed, dpi, 96); }

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

void OpenGivenFiles(MainWindow* window, const std::vector<std::string>& paths) {
  RunHandler(*window, Ui(u8"打开"), [&paths](MainCommands& c) { c.OnFilesGiven(paths); });
}

std::vector<std::string> GivenFiles() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> paths;
  for (int i = 1; args && i < count; ++i) {
    std::wstring full(32768, L'\0');
    const DWORD length = GetFullPathNameW(args[i], static_cast<DWORD>(full.size()), full.data(), nullptr);
    full.resize(length > 0 && length < full.size() ? length : 0);
    paths.push_back(WideToUtf8(full.empty() ? std::wstring(args[i]) : full));
  }
  if (args) LocalFree(args);
  return paths;
}

std::string FailureMessage(const std::string& action, std::exception_ptr failure) {
  std::string reason = Ui(u8"程序内部出错。");
  try {
    std::rethrow_exception(failure);
  } catch (const std::bad_alloc&) {
    reason = Ui(u8"内存不足。");
  } catch (...) {
  }
  return Ui(u8"无法完成“") + action + Ui(u8"”：") + reason;
}

bool HandleDialogKeys(HWND window, MSG& msg) {
  if ((msg.hwnd == window || IsChild(window, msg.hwnd)) && TranslateAcceleratorW(window, Accelerators(), &msg)) return true;
  if (IsTextBox(window, msg.hwnd)) {
    // A multi-line box that has seen dialog keys closes the window on Escape.
    if (IsKey(msg, VK_ESCAPE)) return true;
    if (IsKey(msg, VK_RETURN)) return false;
    // A multi-line box asks the dialog code for every key, Tab included; Tab moves on here.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB) {
      if (GetKeyState(VK_CONTROL) & 0x8000) {
        SendMessageW(msg.hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"\t"));
      } else {
        SetFocus(GetNextDlgTabItem(window, msg.hwnd, (GetKeyState(VK_SHIFT) & 0x8000) != 0));
      }
      return true;
    }
    if (IsKey(msg, VK_TAB)) return true;
  }
  return IsDialogMessageW(window, &msg);
}

MainWindow* CreateMainWindow(HINSTANCE instance, GeometryState& geometry) {
  if (!RegisterMainWindowClass(instance) || !RegisterTextViewClass(instance)) return nullptr;
  // The designed places are for 96 DPI; at other settings everything grows alike.
  const int dpi = SystemDpi();
  auto scale = [dpi](int designed) { return ScaleForDpi(designed, dpi); };
  HWND hwnd = CreateWindowExW(0, kMainWindowClass, kMainWindowCaption, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 50, 50,
                              scale(686), scale(637), nullptr, CreateMainMenu(), instance, nullptr);
  if (!hwnd) return nullptr;
  auto* window = new MainWindow(hwnd, geometry);
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));

  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  for (const ControlDesign& c : kControls) {
    HWND control = CreateWindowExW(c.ex_style, c.window_class, c.caption, c.style, scale(c.left), scale(c.top),
                                   scale(c.width), scale(c.height), hwnd,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
    // One font for all: the user interface's default, not the bold system font.
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  FitCaption(GetDlgItem(hwnd, kId按钮3), scale(196), font);
  FitCaption(GetDlgItem(hwnd, kId按钮7), scale(660), font);
  // The text boxes take any length: a 20 MB KML loads whole.
  SendDlgItemMessageW(hwnd, kId编辑框1, EM_SETLIMITTEXT, 0, 0);
  SendDlgItemMessageW(hwnd, kId编辑框2, EM_SETLIMITTEXT, 0, 0);

  // The creation-complete steps: visual style, anchoring, the UTF-8 choice.
  SetThemeAppProperties(STAP_ALLOW_NONCLIENT | STAP_ALLOW_CONTROLS);
  AnchorControl(GetDlgItem(hwnd, kId编辑框1), 1, 1, 1, 1);
  AnchorControl(GetDlgItem(hwnd, kId列表框2), 1, 0, 0, 1);
  AnchorControl(GetDlgItem(hwnd, kId编辑框2), 1, 0, 1, 1);
  AnchorControl(GetDlgItem(hwnd, kIdLarge编辑框1), 1, 1, 1, 1);
  AnchorControl(GetDlgItem(hwnd, kIdLarge编辑框2), 1, 0, 1, 1);
  window->commands().OnCreated();
  // Files dropped on the window open as 按钮1 opens a file.
  DragAcceptFiles(hwnd, TRUE);
  return window;
}
