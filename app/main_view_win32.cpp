#include "app/main_view_win32.h"

#include <commdlg.h>

#include "app/main_window_win32.h"

HWND Win32MainView::Item(Control c) const { return GetDlgItem(window_, ControlIdOf(c)); }

std::string Win32MainView::Text(Control c) const {
  HWND item = Item(c);
  int length = GetWindowTextLengthA(item);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int got = GetWindowTextA(item, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

void Win32MainView::SetText(Control c, const std::string& text) { SetWindowTextA(Item(c), text.c_str()); }

void Win32MainView::ClearItems(Control c) {
  SendMessageA(Item(c), LB_RESETCONTENT, 0, 0);
  items_.clear();
}

void Win32MainView::AddItems(Control c, const std::vector<std::string>& items) {
  HWND list = Item(c);
  items_.insert(items_.end(), items.begin(), items.end());
  size_t bytes = 0;
  for (const std::string& item : items) bytes += item.size() + 1;
  // One redraw for the whole list instead of one per item: a large KML has many tags.
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  SendMessageA(list, LB_INITSTORAGE, items.size(), static_cast<LPARAM>(bytes));
  for (const std::string& item : items) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

std::optional<std::string> Win32MainView::SelectedItem(Control c) const {
  LRESULT index = SendMessageA(Item(c), LB_GETCURSEL, 0, 0);
  if (index < 0 || static_cast<size_t>(index) >= items_.size()) return std::nullopt;
  return items_[static_cast<size_t>(index)];
}

bool Win32MainView::IsChecked(Control c) const {
  return SendMessageA(Item(c), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32MainView::SetChecked(Control c, bool checked) {
  SendMessageA(Item(c), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32MainView::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
  // The outcome messages have no caption of their own and show the program's.
  const char* title = caption.empty() ? kMainWindowCaption : caption.c_str();
  UINT style = MB_OK | (icon == MessageIcon::kError ? MB_ICONERROR : 0);
  MessageBoxA(window_, text.c_str(), title, style);
}

bool Win32MainView::AskYesNo(const std::string& text, const std::string& caption) {
  return MessageBoxA(window_, text.c_str(), caption.c_str(), MB_YESNO | MB_ICONWARNING) == IDYES;
}

std::string DialogFilter(const std::string& filter) {
  std::string pairs = filter;
  for (char& c : pairs) {
    if (c == '|') c = '\0';
  }
  pairs.append(2, '\0');
  return pairs;
}

bool Win32MainView::ShowFileDialog(FileDialog& dialog) {
  std::string filter = DialogFilter(dialog.filter);
  // Room for long paths; the dialog reports a longer one as a cancel.
  std::string file(32768, '\0');
  dialog.file_name.copy(file.data(), std::min(dialog.file_name.size(), file.size() - 1));

  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = window_;
  ofn.lpstrFilter = dialog.filter.empty() ? nullptr : filter.c_str();
  ofn.nFilterIndex = static_cast<DWORD>(dialog.filter_index);
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  BOOL confirmed;
  if (dialog.kind == FileDialog::Kind::kOpen) {
    ofn.Flags |= OFN_FILEMUSTEXIST;
    confirmed = GetOpenFileNameA(&ofn);
  } else {
    confirmed = GetSaveFileNameA(&ofn);
  }
  if (!confirmed) return false;
  dialog.file_name = file.c_str();
  dialog.filter_index = static_cast<int>(ofn.nFilterIndex);
  return true;
}

void Win32MainView::CloseWindow() { PostMessageA(window_, WM_CLOSE, 0, 0); }

void Win32MainView::ShowBusy() { SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514))); }  // IDC_WAIT
