#include "app/main_view_win32.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>

#include "app/batch_dialog_win32.h"
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

// A large text goes into the stand-in box: the system's edit box lays out every line of the
// text on every change, which takes about a second for 4,000 lines under Wine, minutes for
// the 500,000 lines of 20 MB, and seconds on Windows; and a long line anew for each of its
// rows: Google Earth's line of 5,000 tuples, 115 KB, took minutes under Wine.
template <typename Text>
bool IsLargeTextOf(Text text) {
  constexpr size_t kLargeText = size_t{256} << 10, kManyLines = 4000, kLongLine = 1000;
  if (text.size() >= kLargeText) return true;
  size_t lines = 0, line_start = 0;
  for (size_t at = text.find('\n');; at = text.find('\n', at + 1)) {
    const size_t end = at == Text::npos ? text.size() : at;
    if (end - line_start > kLongLine || ++lines >= kManyLines) return true;
    if (at == Text::npos) return false;
    line_start = at + 1;
  }
}

bool IsLargeText(std::string_view text) { return IsLargeTextOf(text); }
bool IsLargeText(std::wstring_view text) { return IsLargeTextOf(text); }

HWND Win32MainView::Item(Control c) const { return GetDlgItem(window_, ControlIdOf(c)); }

HWND Win32MainView::Box(Control c) const {
  HWND large = LargeTwinIdOf(c) ? GetDlgItem(window_, LargeTwinIdOf(c)) : nullptr;
  return large && IsWindowVisible(large) ? large : Item(c);
}

std::string Win32MainView::Text(Control c) const { return WideToAnsi(TextOf(Box(c))); }

void Win32MainView::SetText(Control c, const std::string& text) { SetBoxText(c, AnsiToWide(text), IsLargeText(text)); }

std::string Win32MainView::UnicodeText(Control c) const { return WideToUtf8(TextOf(Box(c))); }

void Win32MainView::SetUnicodeText(Control c, const std::string& utf8) {
  std::wstring wide = Utf8ToWide(utf8);
  const bool large = IsLargeText(std::wstring_view(wide));
  SetBoxText(c, wide, large);
}

bool Win32MainView::IsModified(Control c) const { return SendMessageW(Box(c), EM_GETMODIFY, 0, 0) != 0; }

void Win32MainView::SetModified(Control c, bool modified) { SendMessageW(Box(c), EM_SETMODIFY, modified, 0); }

void Win32MainView::SetBoxText(Control c, const std::wstring& wide, bool to_large) {
  HWND edit = Item(c);
  HWND large = LargeTwinIdOf(c) ? GetDlgItem(window_, LargeTwinIdOf(c)) : nullptr;
  if (!large) {
    SetWindowTextW(edit, wide.c_str());
    return;
  }
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
  UINT style = MB_OK;
  switch (icon) {
    case MessageIcon::kNone: break;
    case MessageIcon::kInformation: style |= MB_ICONINFORMATION; break;
    case MessageIcon::kWarning: style |= MB_ICONWARNING; break;
    case MessageIcon::kError: style |= MB_ICONERROR; break;
  }
  MessageBoxW(window_, Utf8ToWide(text).c_str(), title.c_str(), style);
}

bool Win32MainView::AskYesNo(const std::string& text, const std::string& caption) {
  return MessageBoxW(window_, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(), MB_YESNO | MB_ICONWARNING) == IDYES;
}

Answer Win32MainView::AskYesNoCancel(const std::string& text, const std::string& caption) {
  switch (MessageBoxW(window_, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(), MB_YESNOCANCEL | MB_ICONWARNING)) {
    case IDYES: return Answer::kYes;
    case IDNO: return Answer::kNo;
    default: return Answer::kCancel;
  }
}

bool Win32MainView::ShowBatchDialog(BatchChoice& choice) { return ::ShowBatchDialog(window_, choice); }

bool Win32MainView::ShowUserGuide() {
  // The guide of the release package lies beside the program.
  std::wstring program(32768, L'\0');
  program.resize(GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size())));
  const std::wstring guide = program.substr(0, program.find_last_of(L"\\/") + 1) + L"UserGuide.html";
  if (GetFileAttributesW(guide.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  return reinterpret_cast<INT_PTR>(ShellExecuteW(window_, L"open", guide.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32;
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
