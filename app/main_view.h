#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Two kinds of text meet in the window. The document text, the result box and the items of
// the tag list are ANSI (GBK), as the document's bytes are. Everything else that the window
// shows or takes (captions, messages, questions, file types, file names) is UTF-8, so that
// any file name and every Chinese caption shows whatever the system's code page. The
// program's own narrow literals are GBK, so its window texts are written as u8 literals:
// Ui(u8"打开").
inline std::string Ui(std::u8string_view text) { return std::string(text.begin(), text.end()); }

// A choice below the file types of a Save dialog: the coordinate system of an export, from a
// drop-down list, with a box for the zone and the check box 不加带号 for the items that
// take them.
struct CoordinateSystemChoice {
  struct Item {
    std::string caption;
    bool takes_zone = false;
  };
  std::vector<Item> items;
  int chosen = 0;               // from 0
  std::string zone;             // as typed; empty for the zone of the data
  bool no_zone_prefix = false;
  // The check boxes of the row below: the columns that --description-fields and --altitude
  // add; either writes the MID file, whatever the file type.
  bool description_fields = false;
  bool altitude = false;
  // What is wrong with a choice, or nothing: the dialog says it and stays open.
  std::function<std::string(const CoordinateSystemChoice&)> check;
};

// The choices of an export of several files at once, asked once before any is written: the
// file type of the export's Save dialog (1: MIF, 2: MIF and MID) and its coordinate system.
struct BatchChoice {
  std::vector<std::string> file_types;  // the captions, in order
  int file_type = 1;
  CoordinateSystemChoice coordinate_system;
  bool merge = false;  // 合并为一个MIF: one MIF file (and MID file) of all, saved where the user says
};

// A file dialog object of the main window: it keeps its kind, filter and file name from one
// use to the next.
struct FileDialog {
  enum class Kind { kOpen, kSave };
  Kind kind = Kind::kOpen;
  std::string filter;     // description and pattern pairs, all separated by "|"
  std::string file_name;  // full path; after a confirmed dialog, the path chosen
  int filter_index = 1;   // the file type shown first; after a confirmed dialog, the one chosen
  std::string title;      // empty: the system's own
  // A Save dialog with the choice of a coordinate system; after a confirmed dialog, the
  // choice made.
  std::optional<CoordinateSystemChoice> coordinate_system{};
};

// The controls that the commands read and write.
enum class Control { 编辑框1, 编辑框2, 列表框2, 单选框5, 单选框6 };

enum class MessageIcon { kNone, kInformation, kWarning, kError };

enum class Answer { kYes, kNo, kCancel };

// What the commands see of the main window.
class MainView {
 public:
  virtual ~MainView() = default;

  virtual std::string Text(Control c) const = 0;  // whole content, ANSI
  virtual void SetText(Control c, const std::string& text) = 0;
  // The same content as UTF-8: every character the box holds, those GBK lacks among them.
  virtual std::string UnicodeText(Control c) const = 0;
  virtual void SetUnicodeText(Control c, const std::string& utf8) = 0;
  // Whether the user has changed the box's text since it was set (or SetModified(false)).
  virtual bool IsModified(Control c) const = 0;
  virtual void SetModified(Control c, bool modified) = 0;
  virtual void ClearItems(Control c) = 0;
  virtual void AddItems(Control c, const std::vector<std::string>& items) = 0;
  virtual std::optional<std::string> SelectedItem(Control c) const = 0;
  virtual bool IsChecked(Control c) const = 0;
  virtual void SetChecked(Control c, bool checked) = 0;

  // The name of the document in the title bar ("北京.kml - Geovant 3.16"); empty for none.
  virtual void SetDocumentName(const std::string& name) = 0;
  // A modal message box with an OK button. An empty caption leaves the window's own.
  virtual void ShowMessage(const std::string& text, const std::string& caption,
                           MessageIcon icon) = 0;
  // A modal question with the buttons Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  // A modal question with the buttons Yes, No and Cancel.
  virtual Answer AskYesNoCancel(const std::string& text, const std::string& caption) = 0;
  // The small dialog of an export of several files; true when the user confirmed, and then
  // `choice` holds what was chosen.
  virtual bool ShowBatchDialog(BatchChoice& choice) = 0;
  // Opens the user guide beside the program in the system's browser; false when it is missing.
  virtual bool ShowUserGuide() = 0;
  // Shows the platform's Open or Save dialog; true when the user confirmed, and then the
  // dialog's file name holds the path chosen. The dialog adds no extension and asks nothing
  // about existing files: the commands decide which file they write and ask about that one.
  virtual bool ShowFileDialog(FileDialog& dialog) = 0;
  virtual void CloseWindow() = 0;
  // The wait cursor, for a command that may take a while, until the mouse next moves or a
  // dialog appears.
  virtual void ShowBusy() = 0;
};
