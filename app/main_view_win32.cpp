#include "app/main_view_win32.h"

#include <commdlg.h>

#include <algorithm>
#include <memory>

#include "app/coordinate_system_box_win32.h"
#include "app/main_window_win32.h"
#include "document/wide_text_win32.h"

namespace {

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  int got = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

}  // namespace

std::string WindowText(HWND window) { return WideToUtf8(TextOf(window)); }

void SetWindowTextUtf8(HWND window, const std::string& text) { SetWindowTextW(window, Utf8ToWide(text).c_str()); }

namespace {

// A large text goes into the stand-in box: the system's edit box lays out every line of the
// text on every change, which takes about a second for 4,000 lines under Wine, minutes for
// the 500,000 lines of 20 MB, and seconds on Windows.
bool IsLargeText(const std::string& text) {
  constexpr size_t kLargeText = size_t{256} << 10, kManyLines = 4000;
  return text.size() >= kLargeText || static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) >= kManyLines;
}

}  // namespace

HWND Win32MainView::Item(Control c) const { return GetDlgItem(window_, ControlIdOf(c)); }

HWND Win32MainView::Box(Control c) const {
  HWND large = LargeTwinIdOf(c) ? GetDlgItem(window_, LargeTwinIdOf(c)) : nullptr;
  return large && IsWindowVisible(large) ? large : Item(c);
}

std::string Win32MainView::Text(Control c) const { return WideToAnsi(TextOf(Box(c))); }

void Win32MainView::SetText(Control c, const std::string& text) {
  std::wstring wide = AnsiToWide(text);
  HWND edit = Item(c);
  HWND large = LargeTwinIdOf(c) ? GetDlgItem(window_, LargeTwinIdOf(c)) : nullptr;
  if (!large) {
    SetWindowTextW(edit, wide.c_str());
    return;
  }
  const bool to_large = IsLargeText(text);
  HWND shown = to_large ? large : edit, hidden = to_large ? edit : large;
  const bool had_focus = GetFocus() == hidden;
  SetWindowTextW(hidden, L"");
  SetWindowTextW(shown, wide.c_str());
  ShowWindow(shown, SW_SHOW);
  ShowWindow(hidden, SW_HIDE);
  if (had_focus) SetFocus(shown);
}

void Win32MainView::ClearItems(Control c) {
  SendMessageW(Item(c), LB_RESETCONTENT, 0, 0);
  items_.clear();
}

void Win32MainView::AddItems(Control c, const std::vector<std::string>& items) {
  HWND list = Item(c);
  items_.insert(items_.end(), items.begin(), items.end());
  size_t bytes = 0;
  for (const std::string& item : items) bytes += 2 * (item.size() + 1);
  // One redraw for the whole list instead of one per item: a large KML has many tags.
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_INITSTORAGE, items.size(), static_cast<LPARAM>(bytes));
  for (const std::string& item : items) {
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(AnsiToWide(item).c_str()));
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

std::optional<std::string> Win32MainView::SelectedItem(Control c) const {
  LRESULT index = SendMessageW(Item(c), LB_GETCURSEL, 0, 0);
  if (index < 0 || static_cast<size_t>(index) >= items_.size()) return std::nullopt;
  return items_[static_cast<size_t>(index)];
}

bool Win32MainView::IsChecked(Control c) const { return SendMessageW(Item(c), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void Win32MainView::SetChecked(Control c, bool checked) {
  SendMessageW(Item(c), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32MainView::SetDocumentName(const std::string& name) {
  std::wstring caption = kMainWindowCaption;
  if (!name.empty()) caption = Utf8ToWide(name) + L" - " + caption;
  SetWindowTextW(window_, caption.c_str());
}

void Win32MainView::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
  // The outcome messages have no caption of their own and show the program's.
  std::wstring title = caption.empty() ? std::wstring(kMainWindowCaption) : Utf8ToWide(caption);
  UINT style = MB_OK | (icon == MessageIcon::kError ? MB_ICONERROR : 0);
  MessageBoxW(window_, Utf8ToWide(text).c_str(), title.c_str(), style);
}

bool Win32MainView::AskYesNo(const std::string& text, const std::string& caption) {
  return MessageBoxW(window_, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(), MB_YESNO | MB_ICONWARNING) == IDYES;
}

std::wstring DialogFilter(const std::string& filter) {
  std::wstring pairs = Utf8ToWide(filter);
  for (wchar_t& c : pairs) {
    if (c == L'|') c = L'\0';
  }
  pairs.append(2, L'\0');
  return pairs;
}

bool Win32MainView::ShowFileDialog(FileDialog& dialog) {
  std::wstring filter = DialogFilter(dialog.filter);
  std::wstring title = Utf8ToWide(dialog.title);
  // Room for long paths; the dialog reports a longer one as a cancel.
  std::wstring file(32768, L'\0');
  std::wstring proposed = Utf8ToWide(dialog.file_name);
  proposed.copy(file.data(), std::min(proposed.size(), file.size() - 1));

  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = window_;
  ofn.lpstrFilter = dialog.filter.empty() ? nullptr : filter.c_str();
  ofn.nFilterIndex = static_cast<DWORD>(dialog.filter_index);
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  std::unique_ptr<CoordinateSystemBox> box;
  if (dialog.kind == FileDialog::Kind::kSave && dialog.coordinate_system) {
    box = std::make_unique<CoordinateSystemBox>(*dialog.coordinate_system);
    box->AttachTo(ofn);
  }
  BOOL confirmed;
  if (dialog.kind == FileDialog::Kind::kOpen) {
    ofn.Flags |= OFN_FILEMUSTEXIST;
    confirmed = GetOpenFileNameW(&ofn);
  } else {
    confirmed = GetSaveFileNameW(&ofn);
  }
  if (!confirmed) return false;
  dialog.file_name = WideToUtf8(file.c_str());
  dialog.filter_index = static_cast<int>(ofn.nFilterIndex);
  return true;
}

void Win32MainView::CloseWindow() { PostMessageW(window_, WM_CLOSE, 0, 0); }

void Win32MainView::ShowBusy() { SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514))); }  // IDC_WAIT
