#pragma once

#include <windows.h>

#include "app/main_view.h"

// The MainView of the real window: its controls by their ids, the system's message boxes and
// common file dialogs, all through the W functions. The document text goes into the boxes
// from code page 936 and comes back to it, so that the box gives back the bytes it was given
// on every Windows.
class Win32MainView : public MainView {
 public:
  explicit Win32MainView(HWND window) : window_(window) {}

  std::string Text(Control c) const override;
  void SetText(Control c, const std::string& text) override;
  std::string UnicodeText(Control c) const override;
  void SetUnicodeText(Control c, const std::string& utf8) override;
  bool IsModified(Control c) const override;
  void SetModified(Control c, bool modified) override;
  void ClearItems(Control c) override;
  void AddItems(Control c, const std::vector<std::string>& items) override;
  std::optional<std::string> SelectedItem(Control c) const override;
  bool IsChecked(Control c) const override;
  void SetChecked(Control c, bool checked) override;
  void SetDocumentName(const std::string& name) override;
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  Answer AskYesNoCancel(const std::string& text, const std::string& caption) override;
  bool ShowBatchDialog(BatchChoice& choice) override;
  bool ShowUserGuide() override;
  bool ShowFileDialog(FileDialog& dialog) override;
  void CloseWindow() override;
  void ShowBusy() override;

 private:
  HWND Item(Control c) const;
  // The box that shows a text box's text: the edit box, or its stand-in for large texts.
  HWND Box(Control c) const;
  // Puts the text into the edit box, or into its stand-in when `large`.
  void SetBoxText(Control c, const std::wstring& text, bool large);
  HWND window_;
  // The texts of the tag list's items: reading a long item back from the list box crashes
  // some list box implementations (Wine's, from about 600 characters on).
  std::vector<std::string> items_;
};

// Whether a text goes to the stand-in box of the system's edit box: a text of 256 KB or more,
// of 4,000 lines or more, or with a line of more than 1,000 bytes (GBK) or characters.
bool IsLargeText(std::string_view text);
bool IsLargeText(std::wstring_view text);

// "KML文件|*.kml" as the dialog wants it: "KML文件\0*.kml\0\0", in UTF-16.
std::wstring DialogFilter(const std::string& filter);

// The text of a window, and a new text for it: UTF-8.
std::string WindowText(HWND window);
void SetWindowTextUtf8(HWND window, const std::string& text);
