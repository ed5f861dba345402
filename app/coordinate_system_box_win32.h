#pragma once

#include <windows.h>

#include <vector>

#include "app/main_view.h"

// The 坐标系 drop-down, the zone box and the check box 不加带号, and a row of the check boxes
// 描述中的字段 and 高程, below the file types of the standard Save dialog: a dialog template of the dialog's own and a hook, which keep the
// choice in a CoordinateSystemChoice and refuse a wrong one.
enum : int {
  kIdCoordinateSystemLabel = 1101,
  kIdCoordinateSystem,
  kIdZoneLabel,
  kIdZone,
  kIdNoZonePrefix,
  kIdDescriptionFields,
  kIdAltitude,
};

// The 坐标系 controls in any dialog, `top` dialog units from its top: made from the choice,
// the zone enabled for the items that take one, and taken back into the choice; a wrong
// choice is refused, said in a message box over `dialog`.
void MakeCoordinateSystemControls(HWND dialog, const CoordinateSystemChoice& choice, int top);
void EnableZoneControls(HWND dialog, const CoordinateSystemChoice& choice);
bool TakeCoordinateSystemChoice(HWND dialog, CoordinateSystemChoice& choice);

class CoordinateSystemBox {
 public:
  explicit CoordinateSystemBox(CoordinateSystemChoice& choice);
  CoordinateSystemBox(const CoordinateSystemBox&) = delete;
  CoordinateSystemBox& operator=(const CoordinateSystemBox&) = delete;

  // Adds the template and the hook to a dialog about to be shown; the box must outlive it.
  void AttachTo(OPENFILENAMEW& ofn);

 private:
  static UINT_PTR CALLBACK Hook(HWND box, UINT message, WPARAM wparam, LPARAM lparam);
  void AlignWithTheDialog(HWND box);

  CoordinateSystemChoice& choice_;
  std::vector<DWORD> template_;  // a DLGTEMPLATE, which must be DWORD-aligned
};
