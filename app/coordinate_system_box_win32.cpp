#include "app/coordinate_system_box_win32.h"

#include <commctrl.h>

#include <cstring>
#include <string>

#include "app/main_view_win32.h"
#include "document/wide_text_win32.h"

namespace {

// The box below the file types, in dialog units: two rows.
constexpr short kWidth = 280, kHeight = 38;

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

CoordinateSystemBox::CoordinateSystemBox(CoordinateSystemChoice& choice) : choice_(choice) {
  // A child template of no controls, in the dialog's font: the hook makes the controls.
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD));
  DLGTEMPLATE header = {};
  header.style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | DS_3DLOOK | DS_CONTROL | DS_SETFONT;
  header.cx = kWidth;
  header.cy = kHeight;
  std::memcpy(words.data(), &header, sizeof header);
  words.insert(words.end(), {0, 0, 0, 9});  // no menu, the default class, no title; 9 points
  for (const wchar_t* c = L"MS Shell Dlg"; ; ++c) {
    words.push_back(static_cast<WORD>(*c));
    if (!*c) break;
  }
  template_.resize((words.size() * sizeof(WORD) + sizeof(DWORD) - 1) / sizeof(DWORD));
  std::memcpy(template_.data(), words.data(), words.size() * sizeof(WORD));
}

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
      self->Create(box);
      return TRUE;
    case WM_COMMAND:
      if (self && LOWORD(wparam) == kIdCoordinateSystem && HIWORD(wparam) == CBN_SELCHANGE) self->EnableZone(box);
      return FALSE;
    case WM_NOTIFY: {
      const auto* notify = reinterpret_cast<const OFNOTIFYW*>(lparam);
      if (!self) return FALSE;
      if (notify->hdr.code == CDN_INITDONE) self->AlignWithTheDialog(box);
      if (notify->hdr.code == CDN_FILEOK && !self->Accept(box)) {
        SetWindowLongPtrW(box, DWLP_MSGRESULT, 1);  // the dialog stays open
        return TRUE;
      }
      return FALSE;
    }
  }
  return FALSE;
}

void CoordinateSystemBox::Create(HWND box) {
  const HFONT font = reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0));
  auto make = [&](const wchar_t* kind, const std::string& text, DWORD style, int id, RECT place) {
    MapDialogRect(box, &place);
    HWND control = CreateWindowExW(id == kIdZone ? WS_EX_CLIENTEDGE : 0, kind, Utf8ToWide(text).c_str(),
                                   WS_CHILD | WS_VISIBLE | style, place.left, place.top, place.right - place.left,
                                   place.bottom - place.top, box, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return control;
  };
  make(L"STATIC", Ui(u8"坐标系(&C)："), SS_LEFT, kIdCoordinateSystemLabel, {5, 6, 55, 16});
  HWND list = make(L"COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kIdCoordinateSystem, {60, 4, 275, 90});
  make(L"STATIC", Ui(u8"带号(&Z)："), SS_LEFT, kIdZoneLabel, {5, 24, 55, 34});
  HWND zone = make(L"EDIT", choice_.zone, ES_AUTOHSCROLL | WS_TABSTOP, kIdZone, {60, 22, 110, 34});
  HWND prefix = make(L"BUTTON", Ui(u8"不加带号"), BS_AUTOCHECKBOX | WS_TABSTOP, kIdNoZonePrefix, {118, 22, 220, 34});
  for (const CoordinateSystemChoice::Item& item : choice_.items) {
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf8ToWide(item.caption).c_str()));
  }
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(choice_.chosen), 0);
  SendMessageW(zone, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(Utf8ToWide(Ui(u8"自动")).c_str()));
  SendMessageW(prefix, BM_SETCHECK, choice_.no_zone_prefix ? BST_CHECKED : BST_UNCHECKED, 0);
  EnableZone(box);
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
  MoveTo(GetDlgItem(box, kIdNoZonePrefix), list.left + (zone.right - zone.left) + (zone.bottom - zone.top) / 2, 0);
}

void CoordinateSystemBox::EnableZone(HWND box) {
  const LRESULT chosen = SendDlgItemMessageW(box, kIdCoordinateSystem, CB_GETCURSEL, 0, 0);
  const bool takes_zone =
      chosen >= 0 && static_cast<size_t>(chosen) < choice_.items.size() && choice_.items[static_cast<size_t>(chosen)].takes_zone;
  for (int id : {kIdZoneLabel, kIdZone, kIdNoZonePrefix}) EnableWindow(GetDlgItem(box, id), takes_zone);
}

bool CoordinateSystemBox::Accept(HWND box) {
  CoordinateSystemChoice made = choice_;
  made.chosen = static_cast<int>(SendDlgItemMessageW(box, kIdCoordinateSystem, CB_GETCURSEL, 0, 0));
  made.zone = WindowText(GetDlgItem(box, kIdZone));
  made.no_zone_prefix = SendDlgItemMessageW(box, kIdNoZonePrefix, BM_GETCHECK, 0, 0) == BST_CHECKED;
  const std::string wrong = made.check ? made.check(made) : "";
  if (!wrong.empty()) {
    HWND dialog = GetParent(box);
    MessageBoxW(dialog, Utf8ToWide(wrong).c_str(), Utf8ToWide(WindowText(dialog)).c_str(), MB_OK | MB_ICONERROR);
    SetFocus(GetDlgItem(box, kIdZone));
    return false;
  }
  choice_ = std::move(made);
  return true;
}
