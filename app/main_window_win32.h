#pragma once

#include <windows.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/main_commands.h"

// Control and menu ids of the main window.
enum ControlId : int {
  kId按钮1 = 1001, kId按钮2, kId按钮3, kId按钮4, kId按钮5, kId按钮6, kId按钮7,
  kId单选框5 = 1015, kId单选框6, kId标签7, kId标签8,
  kId编辑框1 = 1021, kId编辑框2, kId列表框2 = 1032,
  // The boxes that take the place of 编辑框1 and 编辑框2 for large texts (text_view_win32.h).
  kIdLarge编辑框1 = 1051, kIdLarge编辑框2,
  kIdMenuOpen = 2001, kIdMenuSave, kIdMenuSaveAs, kIdMenuExit, kIdMenuGuide, kIdMenuAbout,
  // The keys Ctrl+O and Ctrl+S: 按钮1 and 保存.
  kIdKeyOpen = 2101,
};

int ControlIdOf(Control c);
// The id of the box that stands in for a text box when it holds a large text; 0 for others.
int LargeTwinIdOf(Control c);

extern const wchar_t kMainWindowCaption[];  // "Geovant 3.16"
extern const wchar_t kMainWindowClass[];

class MainWindow;

// Creates the main window with its controls and menu, runs its creation-complete steps
// (visual style, anchoring, the UTF-8 choice) and returns it, not yet shown; null on failure.
// The window owns the returned object's view and commands until it is destroyed.
MainWindow* CreateMainWindow(HINSTANCE instance, GeometryState& geometry);
HWND WindowOf(MainWindow* window);
MainCommands& CommandsOf(MainWindow* window);
MainView& ViewOf(MainWindow* window);

// The screen's DPI, and a length designed for 96 DPI at `dpi`: the window and its controls
// are made at their designed places scaled so, and at 96 DPI exactly as designed.
int SystemDpi();
int ScaleForDpi(int designed, int dpi);

// Files dropped on the window, or named on the program's command line ("Open with", files
// dropped on the program's icon): one opens as 按钮1 opens the file chosen in its dialog,
// several are converted (MainCommands::OnFilesGiven). The paths are UTF-8.
void OpenGivenFiles(MainWindow* window, const std::vector<std::string>& paths);

// The files named on the program's command line, as UTF-8 full paths: a relative one is taken
// from the folder the program was started in.
std::vector<std::string> GivenFiles();

// The message loop's handling of the main window's keys: Ctrl+O opens as 按钮1 does and
// Ctrl+S saves; Tab and Shift+Tab move the focus, Ctrl+Tab inserts a tab and Enter a line
// break in the text boxes, and Escape does nothing there. True when `msg` has been handled
// and must not be dispatched.
bool HandleDialogKeys(HWND window, MSG& msg);

// The error box text (UTF-8) when a command ends with an exception:
// "无法完成“生成MIF”：内存不足。"
std::string FailureMessage(const std::string& action, std::exception_ptr failure);
