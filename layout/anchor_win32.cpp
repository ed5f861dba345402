#include "layout/anchor_win32.h"

namespace {

AnchorLists* anchor_lists = nullptr;

Rect FromRECT(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

const LayoutHost* FindHost(HWND parent) {
  if (!anchor_lists) return nullptr;
  for (const LayoutHost& host : anchor_lists->LayoutHosts) {
    if (host.parent == parent) return &host;
  }
  return nullptr;
}

}  // namespace

void SetAnchorLists(AnchorLists* lists) { anchor_lists = lists; }

void AnchorControl(HWND control, int left, int top, int right, int bottom) {
  HWND parent = GetParent(control);
  // GWLP_WNDPROC: the form of the call that 64-bit Windows has.
  auto previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(parent, GWLP_WNDPROC));
  RECT parent_window, parent_client, control_window;
  GetWindowRect(parent, &parent_window);
  GetClientRect(parent, &parent_client);
  GetWindowRect(control, &control_window);
  AnchorGeometry geometry = MeasureAnchor(FromRECT(parent_window), parent_client.right,
                                          parent_client.bottom, FromRECT(control_window));
  anchor_lists->AnchoredControls.push_back(
      {parent, control, geometry, {left != 0, top != 0, right != 0, bottom != 0}});
  if (!FindHost(parent)) {
    SetWindowLongPtrW(parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LayoutWindowProc));
    anchor_lists->LayoutHosts.push_back({parent, previous});
  }
}

LRESULT CALLBACK LayoutWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const LayoutHost* host = FindHost(window);
  if (!host) return DefWindowProcW(window, message, wparam, lparam);  // lists already released
  WNDPROC previous = host->previous;
  if (message == WM_SIZE) {
    // The client size is read back rather than taken from lparam, and a minimised window's
    // empty client area is laid out like any other: restoring lays it out again.
    RECT client;
    GetClientRect(window, &client);
    for (const AnchoredControl& record : anchor_lists->AnchoredControls) {
      if (record.parent != window) continue;
      Placement p = PlaceAnchored(record.geometry, record.flags, client.right, client.bottom);
      MoveWindow(record.control, p.x, p.y, p.width, p.height, TRUE);
    }
  }
  return CallWindowProcW(previous, window, message, wparam, lparam);
}
