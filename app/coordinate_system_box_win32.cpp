#include "app/coordinate_system_box_win32.h"

#include <commctrl.h>

#include <cstring>
#include <string>

#include "app/dialog_template_win32.h"
#include "app/main_view_win32.h"
#include "document/wide_text_win32.h"

namespace {

// The box below the file types, in dialog units: three rows.
constexpr short kWidth = 280, kHeight = 54;

// The ids of the standard dialog's file type label and list.
constexpr int kFileTypeLabel = 0x441, kFileTypeList = 0x470;

RECT RectIn(HWND window, HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void MoveTo(HWND control, int left, int width) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  MoveWindow(control, left, r.top, width > 0 ? width : r.right - r.left, r.bottom - r.top, TRUE);
}

}  // namespace

void MakeCoordinateSystemControls(HWND dialog, const CoordinateSystemChoice& choice, int top) {
  auto place = [&](int left, int y, int right, int bottom) { return RECT{left, top + y, right, top + bottom}; };
  MakeDialogControl(dialog, L"STATIC", Utf8ToWide(Ui(u8"坐标系(&C)：")).c_str(), SS_LEFT, kIdCoordinateSystemLabel,
                    place(5, 2, 55, 12));
  HWND list = MakeDialogControl(dialog, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                                kIdCoordinateSystem, place(60, 0, 275, 86));
  MakeDialogControl(dialog, L"STATIC", Utf8ToWide(Ui(u8"带号(&Z)：")).c_str(), SS_LEFT, kIdZoneLabel, place(5, 20, 55, 30));
  HWND zone = MakeDialogControl(dialog, L"EDIT", Utf8ToWide(choice.zone).c_str(), ES_AUTOHSCROLL | WS_TABSTOP, kIdZone,
                                place(60, 18, 110, 30), WS_EX_CLIENTEDGE);
  HWND prefix = MakeDialogControl(dialog, L"BUTTON", Utf8ToWide(Ui(u8"不加带号")).c_str(), BS_AUTOCHECKBOX | WS_TABSTOP,
                                  kIdNoZonePrefix, place(118, 18, 220, 30));
  HWND fields = MakeDialogControl(dialog, L"BUTTON", Utf8ToWide(Ui(u8"描述中的字段(&D)")).c_str(),
                                  BS_AUTOCHECKBOX | WS_TABSTOP, kIdDescriptionFields, place(60, 36, 150, 48));
  HWND altitude = MakeDialogControl(dialog, L"BUTTON", Utf8ToWide(Ui(u8"高程(&H)")).c_str(), BS_AUTOCHECKBOX | WS_TABSTOP,
                                    kIdAltitude, place(155, 36, 220, 48));
  SendMessageW(fields, BM_SETCHECK, choice.description_fields ? BST_CHECKED : BST_UNCHECKED, 0);
  SendMessageW(altitude, BM_SETCHECK, choice.altitude ? BST_CHECKED : BST_UNCHECKED, 0);
  for (const CoordinateSystemChoice::Item& item : choice.items) {
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf8ToWide(item.caption).c_str()));
  }
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(choice.chosen), 0);
  SendMessageW(zone, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(Utf8ToWide(Ui(u8"自动")).c_str()));
  SendMessageW(prefix, BM_SETCHECK, choice.no_zone_prefix ? BST_CHECKED : BST_UNCHECKED, 0);
  EnableZoneControls(dialog, choice);
}

void EnableZoneControls(HWND dialog, const CoordinateSystemChoice& choice) {
  const LRESULT chosen = SendDlgItemMessageW(dialog, kIdCoordinateSystem, CB_GETCURSEL, 0, 0);
  const bool takes_zone =
      chosen >= 0 && static_cast<size_t>(chosen) < choice.items.size() && choice.items[static_cast<size_t>(chosen)].takes_zone;
  for (int id : {kIdZoneLabel, kIdZone, kIdNoZonePrefix}) EnableWindow(GetDlgItem(dialog, id), takes_zone);
}

bool TakeCoordinateSystemChoice(HWND dialog, CoordinateSystemChoice& choice) {
  CoordinateSystemChoice made = choice;
  made.chosen = static_cast<int>(SendDlgItemMessageW(dialog, kIdCoordinateSystem, CB_GETCURSEL, 0, 0));
  made.zone = WindowText(GetDlgItem(dialog, kIdZone));
  made.no_zone_prefix = SendDlgItemMessageW(dialog, kIdNoZonePrefix, BM_GETCHECK, 0, 0) == BST_CHECKED;
  made.description_fields = SendDlgItemMessageW(dialog, kIdDescriptionFields, BM_GETCHECK, 0, 0) == BST_CHECKED;
  made.altitude = SendDlgItemMessageW(dialog, kIdAltitude, BM_GETCHECK, 0, 0) == BST_CHECKED;
  const std::string wrong = made.check ? made.check(made) : "";
  if (!wrong.empty()) {
    // Over the whole dialog, the standard Save dialog when the controls sit in a box of it.
    HWND owner = GetWindowLongW(dialog, GWL_STYLE) & WS_CHILD ? GetParent(dialog) : dialog;
    MessageBoxW(owner, Utf8ToWide(wrong).c_str(), Utf8ToWide(WindowText(owner)).c_str(), MB_OK | MB_ICONERROR);
    SetFocus(GetDlgItem(dialog, kIdZone));
    return false;
  }
  choice = std::move(made);
  return true;
}

CoordinateSystemBox::CoordinateSystemBox(CoordinateSystemChoice& choice)
    // A child template of no controls: the hook makes them.
    : choice_(choice),
      template_(DialogTemplate(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | DS_3DLOOK | DS_CONTROL, kWidth, kHeight)) {}

void CoordinateSystemBox::AttachTo(OPENFILENAMEW& ofn) {
  // A hooked dialog is of the Explorer kind, and sizes only when asked to.
  ofn.Flags |= OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLETEMPLATEHANDLE | OFN_ENABLESIZING;
  ofn.hInstance = reinterpret_cast<HINSTANCE>(template_.data());
  ofn.lpfnHook = &CoordinateSystemBox::Hook;
  ofn.lCustData = reinterpret_cast<LPARAM>(this);
}

UINT_PTR CALLBACK CoordinateSystemBox::Hook(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<CoordinateSystemBox*>(GetWindowLongPtrW(box, GWLP_USERDATA));
  switch (message) {
    case WM_INITDIALOG:
      self = reinterpret_cast<CoordinateSystemBox*>(reinterpret_cast<const OPENFILENAMEW*>(lparam)->lCustData);
      SetWindowLongPtrW(box, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      MakeCoordinateSystemControls(box, self->choice_, 4);
      return TRUE;
    case WM_COMMAND:
      if (self && LOWORD(wparam) == kIdCoordinateSystem && HIWORD(wparam) == CBN_SELCHANGE) {
        EnableZoneControls(box, self->choice_);
      }
      return FALSE;
    case WM_NOTIFY: {
      const auto* notify = reinterpret_cast<const OFNOTIFYW*>(lparam);
      if (!self) return FALSE;
      if (notify->hdr.code == CDN_INITDONE) self->AlignWithTheDialog(box);
      if (notify->hdr.code == CDN_FILEOK && !TakeCoordinateSystemChoice(box, self->choice_)) {
        SetWindowLongPtrW(box, DWLP_MSGRESULT, 1);  // the dialog stays open
        return TRUE;
      }
      return FALSE;
    }
  }
  return FALSE;
}

void CoordinateSystemBox::AlignWithTheDialog(HWND box) {
  // The labels under the dialog's own, the lists at the left of its list of file types.
  HWND dialog = GetParent(box);
  HWND type_label = GetDlgItem(dialog, kFileTypeLabel), type_list = GetDlgItem(dialog, kFileTypeList);
  if (!type_label || !type_list) return;
  const RECT label = RectIn(box, type_label), list = RectIn(box, type_list);
  MoveTo(GetDlgItem(box, kIdCoordinateSystemLabel), label.left, list.left - label.left - 4);
  MoveTo(GetDlgItem(box, kIdZoneLabel), label.left, list.left - label.left - 4);
  MoveTo(GetDlgItem(box, kIdCoordinateSystem), list.left, list.right - list.left);
  const RECT zone = RectIn(box, GetDlgItem(box, kIdZone));
  MoveTo(GetDlgItem(box, kIdZone), list.left, 0);
  const int beside_zone = list.left + (zone.right - zone.left) + (zone.bottom - zone.top) / 2;
  MoveTo(GetDlgItem(box, kIdNoZonePrefix), beside_zone, 0);
  MoveTo(GetDlgItem(box, kIdDescriptionFields), list.left, 0);
  const RECT fields = RectIn(box, GetDlgItem(box, kIdDescriptionFields));
  MoveTo(GetDlgItem(box, kIdAltitude), list.left + (fields.right - fields.left) + (zone.bottom - zone.top) / 2, 0);
}
