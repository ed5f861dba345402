#include "app/main_window_win32.h"

#include <shellapi.h>
#include <uxtheme.h>

#include <exception>
#include <new>
#include <string>

#include "app/main_view_win32.h"
#include "layout/anchor_win32.h"

const char kMainWindowCaption[] = "Geovant " GEOVANT_VERSION;
const char kMainWindowClass[] = "GeovantMainWindow";

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
    if (--handlers_running_ == 0 && close_waiting_) DestroyWindow(window_);
  }
  // False when the close must wait for the running handlers.
  bool MayCloseNow() {
    close_waiting_ = handlers_running_ > 0;
    return !close_waiting_;
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

namespace {

struct ControlDesign {
  int id;
  const char* window_class;
  const char* caption;
  int left, top, width, height;
  DWORD style;
  DWORD ex_style;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kButton = kChild | WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER;
// Multi-line, wrapped (no horizontal scroll bar), selection hidden without focus; Enter
// inserts a line break even though the window handles Tab as a dialog does.
constexpr DWORD kTextBox = kChild | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_LEFT | ES_WANTRETURN;

// In creation order, which is also the order of keyboard focus.
const ControlDesign kControls[] = {
    {kId按钮1, "BUTTON", "打开", 24, 8, 40, 32, kButton | WS_GROUP, 0},
    {kId按钮2, "BUTTON", "保存", 84, 8, 40, 32, kButton, 0},
    {kId按钮3, "BUTTON", "另存为", 144, 8, 40, 32, kButton, 0},
    {kId单选框5, "BUTTON", "", 200, 16, 16, 16, kChild | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 0},
    {kId标签7, "STATIC", "ANSI", 224, 8, 40, 32, kChild | SS_LEFT, 0},
    {kId单选框6, "BUTTON", "", 280, 8, 16, 32, kChild | WS_TABSTOP | BS_AUTORADIOBUTTON, 0},
    {kId标签8, "STATIC", "UTF8", 312, 8, 40, 32, kChild | SS_LEFT, 0},
    {kId按钮4, "BUTTON", "点分析", 384, 8, 48, 32, kButton | WS_GROUP, 0},
    {kId按钮5, "BUTTON", "线分析", 453, 8, 48, 32, kButton, 0},
    {kId按钮6, "BUTTON", "面分析", 522, 8, 48, 32, kButton, 0},
    {kId按钮7, "BUTTON", "生成MIF", 592, 8, 48, 32, kButton, 0},
    {kId编辑框1, "EDIT", "", 16, 56, 656, 280, kTextBox, WS_EX_CLIENTEDGE},
    {kId列表框2, "LISTBOX", "", 16, 360, 160, 216,
     kChild | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS, WS_EX_CLIENTEDGE},
    {kId编辑框2, "EDIT", "", 192, 360, 472, 216, kTextBox, WS_EX_CLIENTEDGE},
};

// The event table: which control's notification starts which command.
struct EventRow {
  int id;
  int notification;  // BN_CLICKED and menu commands are 0
  void (*handler)(MainCommands&);
  const char* action;  // what the user asked for, in the message of a failure
};

const EventRow kEvents[] = {
    {kId按钮1, BN_CLICKED, [](MainCommands& c) { c.OnOpenButton(); }, "打开"},
    {kId按钮2, BN_CLICKED, [](MainCommands& c) { c.OnSave(); }, "保存"},
    {kId按钮3, BN_CLICKED, [](MainCommands& c) { c.OnSaveAs(); }, "另存为"},
    {kId按钮4, BN_CLICKED, [](MainCommands& c) { c.OnAnalyse(GeometryKind::kPoint); }, "点分析"},
    {kId按钮5, BN_CLICKED, [](MainCommands& c) { c.OnAnalyse(GeometryKind::kLine); }, "线分析"},
    {kId按钮6, BN_CLICKED, [](MainCommands& c) { c.OnAnalyse(GeometryKind::kPolygon); }, "面分析"},
    {kId按钮7, BN_CLICKED, [](MainCommands& c) { c.OnExportMif(); }, "生成MIF"},
    {kId列表框2, LBN_SELCHANGE, [](MainCommands& c) { c.OnTagSelected(); }, "提取"},
    {kIdMenuOpen, 0, [](MainCommands& c) { c.OnOpenMenu(); }, "打开"},
    {kIdMenuSave, 0, [](MainCommands& c) { c.OnSave(); }, "保存"},
    {kIdMenuSaveAs, 0, [](MainCommands& c) { c.OnSaveAs(); }, "另存为"},
    {kIdMenuExit, 0, [](MainCommands& c) { c.OnExit(); }, "退出"},
};

HMENU CreateMainMenu() {
  HMENU file = CreatePopupMenu();
  AppendMenuA(file, MF_STRING, kIdMenuOpen, "打开");
  AppendMenuA(file, MF_STRING, kIdMenuSave, "保存");
  AppendMenuA(file, MF_STRING, kIdMenuSaveAs, "另存为");
  AppendMenuA(file, MF_STRING, kIdMenuExit, "退出");
  HMENU bar = CreateMenu();
  AppendMenuA(bar, MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(file), "文件");
  return bar;
}

// Runs one command; the window object may be gone afterwards (a close that waited for it).
template <typename Handler>
void RunHandler(MainWindow& window, const char* action, Handler handler) {
  window.EnterHandler();
  // No exception may leave the window procedure; the core throws none, but memory may run out.
  try {
    handler(window.commands());
  } catch (...) {
    MessageBoxA(window.window(), FailureMessage(action, std::current_exception()).c_str(), kMainWindowCaption,
                MB_OK | MB_ICONERROR);
  }
  window.LeaveHandler();
}

void Dispatch(MainWindow& window, int id, int notification) {
  for (const EventRow& row : kEvents) {
    if (row.id == id && row.notification == notification) return RunHandler(window, row.action, row.handler);
  }
}

// The first of the files dropped on the window.
std::string FirstDroppedFile(HDROP drop) {
  UINT length = DragQueryFileA(drop, 0, nullptr, 0);
  std::string path(length + 1, '\0');
  path.resize(DragQueryFileA(drop, 0, path.data(), length + 1));
  DragFinish(drop);
  return path;
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* window = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
      if (window) Dispatch(*window, LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_CLOSE:
      if (window && !window->MayCloseNow()) return 0;
      break;
    case WM_DROPFILES: {
      std::string path = FirstDroppedFile(reinterpret_cast<HDROP>(wparam));
      if (window && !path.empty()) OpenGivenFile(window, path);
      return 0;
    }
    case WM_DESTROY:
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      delete window;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

bool RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSEXA wc = {};
  if (GetClassInfoExA(instance, kMainWindowClass, &wc)) return true;
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
  wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMainWindowClass;
  return RegisterClassExA(&wc) != 0;
}

bool IsTextBox(HWND window, HWND control) {
  return control && (control == GetDlgItem(window, kId编辑框1) || control == GetDlgItem(window, kId编辑框2));
}

bool IsKey(const MSG& msg, WPARAM key) {
  return (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_CHAR) && msg.wParam == key;
}

}  // namespace

void OpenGivenFile(MainWindow* window, const std::string& path) {
  RunHandler(*window, "打开", [&path](MainCommands& c) { c.OnFileGiven(path); });
}

std::string FailureMessage(const char* action, std::exception_ptr failure) {
  std::string reason = "程序内部出错。";
  try {
    std::rethrow_exception(failure);
  } catch (const std::bad_alloc&) {
    reason = "内存不足。";
  } catch (...) {
  }
  return std::string("无法完成“") + action + "”：" + reason;
}

bool HandleDialogKeys(HWND window, MSG& msg) {
  if (IsTextBox(window, msg.hwnd)) {
    // A multi-line box that has seen dialog keys closes the window on Escape.
    if (IsKey(msg, VK_ESCAPE)) return true;
    if (IsKey(msg, VK_RETURN)) return false;
    // A multi-line box asks the dialog code for every key, Tab included; Tab moves on here.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB) {
      if (GetKeyState(VK_CONTROL) & 0x8000) {
        SendMessageA(msg.hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("\t"));
      } else {
        SetFocus(GetNextDlgTabItem(window, msg.hwnd, (GetKeyState(VK_SHIFT) & 0x8000) != 0));
      }
      return true;
    }
    if (IsKey(msg, VK_TAB)) return true;
  }
  return IsDialogMessageA(window, &msg);
}

MainWindow* CreateMainWindow(HINSTANCE instance, GeometryState& geometry) {
  if (!RegisterMainWindowClass(instance)) return nullptr;
  HWND hwnd = CreateWindowExA(0, kMainWindowClass, kMainWindowCaption, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                              50, 50, 686, 637, nullptr, CreateMainMenu(), instance, nullptr);
  if (!hwnd) return nullptr;
  auto* window = new MainWindow(hwnd, geometry);
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));

  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  for (const ControlDesign& c : kControls) {
    HWND control = CreateWindowExA(c.ex_style, c.window_class, c.caption, c.style, c.left, c.top, c.width,
                                   c.height, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
                                   instance, nullptr);
    // One font for all: the user interface's default, not the bold system font.
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  // The text boxes take any length: a 20 MB KML loads whole.
  SendDlgItemMessageA(hwnd, kId编辑框1, EM_SETLIMITTEXT, 0, 0);
  SendDlgItemMessageA(hwnd, kId编辑框2, EM_SETLIMITTEXT, 0, 0);

  // The creation-complete steps: visual style, anchoring, the UTF-8 choice.
  SetThemeAppProperties(STAP_ALLOW_NONCLIENT | STAP_ALLOW_CONTROLS);
  AnchorControl(GetDlgItem(hwnd, kId编辑框1), 1, 1, 1, 1);
  AnchorControl(GetDlgItem(hwnd, kId列表框2), 1, 0, 0, 1);
  AnchorControl(GetDlgItem(hwnd, kId编辑框2), 1, 0, 1, 1);
  window->commands().OnCreated();
  // Files dropped on the window open as 按钮1 opens a file.
  DragAcceptFiles(hwnd, TRUE);
  return window;
}
