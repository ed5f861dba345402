#include "app/batch_dialog_win32.h"

#include "app/coordinate_system_box_win32.h"
#include "app/dialog_template_win32.h"
#include "document/wide_text_win32.h"

namespace {

INT_PTR CALLBACK BatchDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* choice = reinterpret_cast<BatchChoice*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
  switch (message) {
    case WM_INITDIALOG: {
      choice = reinterpret_cast<BatchChoice*>(lparam);
      SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(choice));
      MakeDialogControl(dialog, L"STATIC", Utf8ToWide(Ui(u8"文件类型(&T)：")).c_str(), SS_LEFT, kIdBatchFileTypeLabel,
                        {5, 10, 55, 20});
      HWND types = MakeDialogControl(dialog, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP,
                                     kIdBatchFileType, {60, 8, 275, 70});
      for (const std::string& type : choice->file_types) {
        SendMessageW(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf8ToWide(type).c_str()));
      }
      SendMessageW(types, CB_SETCURSEL, static_cast<WPARAM>(choice->file_type - 1), 0);
      MakeCoordinateSystemControls(dialog, choice->coordinate_system, 26);
      HWND merge = MakeDialogControl(dialog, L"BUTTON", Utf8ToWide(Ui(u8"合并为一个MIF(&M)")).c_str(),
                                     BS_AUTOCHECKBOX | WS_TABSTOP, kIdBatchMerge, {60, 80, 200, 92});
      SendMessageW(merge, BM_SETCHECK, choice->merge ? BST_CHECKED : BST_UNCHECKED, 0);
      MakeDialogControl(dialog, L"BUTTON", Utf8ToWide(Ui(u8"生成MIF")).c_str(), BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP,
                        IDOK, {160, 100, 214, 114});
      MakeDialogControl(dialog, L"BUTTON", Utf8ToWide(Ui(u8"取消")).c_str(), BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL,
                        {221, 100, 275, 114});
      SetWindowTextW(dialog, Utf8ToWide(Ui(u8"生成MIF")).c_str());
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case kIdCoordinateSystem:
          if (HIWORD(wparam) == CBN_SELCHANGE) EnableZoneControls(dialog, choice->coordinate_system);
          return TRUE;
        case IDOK:
          if (!TakeCoordinateSystemChoice(dialog, choice->coordinate_system)) return TRUE;
          choice->file_type = static_cast<int>(SendDlgItemMessageW(dialog, kIdBatchFileType, CB_GETCURSEL, 0, 0)) + 1;
          choice->merge = SendDlgItemMessageW(dialog, kIdBatchMerge, BM_GETCHECK, 0, 0) == BST_CHECKED;
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

}  // namespace

bool ShowBatchDialog(HWND owner, BatchChoice& choice) {
  const std::vector<DWORD> dialog =
      DialogTemplate(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER, 282, 122);
  return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(dialog.data()), owner,
                                 BatchDialogProc, reinterpret_cast<LPARAM>(&choice)) == IDOK;
}
