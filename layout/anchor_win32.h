#pragma once

#include <windows.h>

#include <vector>

#include "layout/anchor_math.h"

// One record per AnchorControl call; the measured values are never written again.
struct AnchoredControl {
  HWND parent;
  HWND control;
  AnchorGeometry geometry;
  AnchorFlags flags;
};

// A parent whose window procedure was replaced, with the procedure it had before.
struct LayoutHost {
  HWND parent;
  WNDPROC previous;
};

// The two lists of the layout, in the order their records were made. Start-up creates them
// before the main window and hands them over here; the release at exit takes them back.
struct AnchorLists {
  std::vector<AnchoredControl> AnchoredControls;
  std::vector<LayoutHost> LayoutHosts;
};
void SetAnchorLists(AnchorLists* lists);

// Keeps `control` at fixed distances from the anchored edges of its parent's client area.
// The parent's window procedure is replaced once, by LayoutWindowProc, on its first anchoring.
void AnchorControl(HWND control, int left, int top, int right, int bottom);

// Re-places the parent's anchored controls on WM_SIZE, then passes every message on to the
// parent's previous procedure and returns what it returns.
LRESULT CALLBACK LayoutWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
