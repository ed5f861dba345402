#pragma once

#include <windows.h>

#include <vector>

#include "app/main_view.h"

// The 坐标系 drop-down, the zone box and the check box 不加带号, below the file types of the
// standard Save dialog: a dialog template of the dialog's own and a hook, which keep the
// choice in a CoordinateSystemChoice and refuse a wrong one.
enum : int {
  kIdCoordinateSystemLabel = 1101,
  kIdCoordinateSystem,
  kIdZoneLabel,
  kIdZone,
  kIdNoZonePrefix,
};

class CoordinateSystemBox {
 public:
  explicit CoordinateSystemBox(CoordinateSystemChoice& choice);
  CoordinateSystemBox(const CoordinateSystemBox&) = delete;
  CoordinateSystemBox& operator=(const CoordinateSystemBox&) = delete;

  // Adds the template and the hook to a dialog about to be shown; the box must outlive it.
  void AttachTo(OPENFILENAMEW& ofn);

 private:
  static UINT_PTR CALLBACK Hook(HWND box, UINT message, WPARAM wparam, LPARAM lparam);
  void Create(HWND box);
  void AlignWithTheDialog(HWND box);
  void EnableZone(HWND box);
  // Takes the controls' state into the choice; false, after saying why, for a wrong one.
  bool Accept(HWND box);

  CoordinateSystemChoice& choice_;
  std::vector<DWORD> template_;  // a DLGTEMPLATE, which must be DWORD-aligned
};
