// Geovant.exe: start-up, the message loop and the release at exit.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include "app/main_window_win32.h"
#include "document/wide_text_win32.h"
#include "layout/anchor_win32.h"
#include "mif/element_search.h"

namespace {

// The program-wide objects: the pattern object and the three collections, in the order of
// their creation, then the two lists of the layout.
struct ProgramState {
  GeometryState* geometry = nullptr;
  AnchorLists* anchor_lists = nullptr;
};

ProgramState StartUp() {
  ProgramState state;
  state.geometry = new GeometryState();
  state.anchor_lists = new AnchorLists();
  SetAnchorLists(state.anchor_lists);
  return state;
}

// Releases everything exactly once, in the order of creation.
void ReleaseAtExit(ProgramState& state) {
  state.geometry->SharedPattern = Pattern();
  state.geometry->PointMatches.Replace(nullptr, {});
  state.geometry->LineMatches.Replace(nullptr, {});
  state.geometry->PolygonMatches.Replace(nullptr, {});
  delete state.geometry;
  state.geometry = nullptr;
  SetAnchorLists(nullptr);
  state.anchor_lists->AnchoredControls.clear();
  state.anchor_lists->LayoutHosts.clear();
  delete state.anchor_lists;
  state.anchor_lists = nullptr;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  ProgramState state = StartUp();
  MainWindow* window = CreateMainWindow(instance, *state.geometry);
  if (!window) {
    ReleaseAtExit(state);
    return 1;
  }
  HWND hwnd = WindowOf(window);
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  // "Open with" and files dropped on the program's icon name the files.
  std::vector<std::string> given = GivenFiles();
  if (!given.empty()) OpenGivenFiles(window, given);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (HandleDialogKeys(hwnd, msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  ReleaseAtExit(state);
  return 0;
}
