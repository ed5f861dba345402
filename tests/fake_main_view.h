#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "app/main_view.h"
#include "document/encoding.h"

// A main window made of maps; dialogs answer from a script and remember how they were shown.
class FakeMainView : public MainView {
 public:
  struct Message {
    std::string text, caption;
    MessageIcon icon;
    std::string result_box_while_shown;  // what 编辑框2 held while the box was up
    size_t dialogs_before;               // how many file dialogs had been shown before it
  };
  struct DialogAnswer {
    bool confirm;
    std::string file_name;  // what the user picks; empty keeps the proposed name
    int filter_index = 1;   // the file type chosen
    int coordinate_system = -1;  // the item chosen in the Save dialog's drop-down; -1 leaves it
    std::string zone = "";
    bool no_zone_prefix = false;
    bool description_fields = false, altitude = false;  // the check boxes below it
  };

  // A box holds what was set last, GBK or UTF-8, and gives it back in either.
  std::string Text(Control c) const override {
    if (auto it = unicode_texts.find(c); it != unicode_texts.end()) return Utf8ToAnsi(it->second);
    auto it = texts.find(c);
    return it == texts.end() ? "" : it->second;
  }
  void SetText(Control c, const std::string& text) override {
    unicode_texts.erase(c);
    texts[c] = text;
    modified[c] = false;
  }
  std::string UnicodeText(Control c) const override {
    if (auto it = unicode_texts.find(c); it != unicode_texts.end()) return it->second;
    return AnsiToUtf8(Text(c));
  }
  void SetUnicodeText(Control c, const std::string& utf8) override {
    texts.erase(c);
    unicode_texts[c] = utf8;
    modified[c] = false;
  }
  // As the user types: the box is changed.
  void Type(Control c, const std::string& text) {
    SetText(c, text);
    modified[c] = true;
  }
  bool IsModified(Control c) const override {
    auto it = modified.find(c);
    return it != modified.end() && it->second;
  }
  void SetModified(Control c, bool on) override { modified[c] = on; }
  void ClearItems(Control c) override { items[c].clear(); }
  void AddItems(Control c, const std::vector<std::string>& added) override {
    items[c].insert(items[c].end(), added.begin(), added.end());
  }
  std::optional<std::string> SelectedItem(Control c) const override {
    auto it = items.find(c);
    if (selected < 0 || it == items.end() || selected >= static_cast<int>(it->second.size())) return {};
    return it->second[static_cast<size_t>(selected)];
  }
  bool IsChecked(Control c) const override {
    auto it = checked.find(c);
    return it != checked.end() && it->second;
  }
  void SetChecked(Control c, bool on) override { checked[c] = on; }
  void SetDocumentName(const std::string& name) override { document_name = name; }
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override {
    messages.push_back({text, caption, icon, Text(Control::编辑框2), shown_dialogs.size()});
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    questions.push_back(text + "|" + caption);
    bool yes = !yes_no_answers.empty() && yes_no_answers.front();
    if (!yes_no_answers.empty()) yes_no_answers.pop_front();
    return yes;
  }
  Answer AskYesNoCancel(const std::string& text, const std::string& caption) override {
    questions.push_back(text + "|" + caption);
    Answer answer = three_way_answers.empty() ? Answer::kCancel : three_way_answers.front();
    if (!three_way_answers.empty()) three_way_answers.pop_front();
    return answer;
  }
  bool ShowBatchDialog(BatchChoice& choice) override {
    batch_dialogs.push_back(choice);
    if (batch_answers.empty()) return false;
    std::optional<BatchChoice> answer = batch_answers.front();
    batch_answers.pop_front();
    if (answer) choice = *answer;
    return answer.has_value();
  }
  bool ShowUserGuide() override { return guide_shown = guide_present; }
  bool ShowFileDialog(FileDialog& dialog) override {
    shown_dialogs.push_back(dialog);
    if (answers.empty()) return false;
    DialogAnswer answer = answers.front();
    answers.pop_front();
    if (answer.confirm && answer.coordinate_system >= 0 && dialog.coordinate_system) {
      CoordinateSystemChoice made = *dialog.coordinate_system;
      made.chosen = answer.coordinate_system;
      made.zone = answer.zone;
      made.no_zone_prefix = answer.no_zone_prefix;
      made.description_fields = answer.description_fields;
      made.altitude = answer.altitude;
      // The dialog refuses a wrong choice; the user then gives up.
      const std::string wrong = made.check ? made.check(made) : "";
      if (!wrong.empty()) {
        refused.push_back(wrong);
        return false;
      }
      *dialog.coordinate_system = made;
    }
    if (answer.confirm && !answer.file_name.empty()) dialog.file_name = answer.file_name;
    if (answer.confirm) dialog.filter_index = answer.filter_index;
    return answer.confirm;
  }
  void CloseWindow() override { closed = true; }
  void ShowBusy() override {}

  std::map<Control, std::string> texts, unicode_texts;
  std::map<Control, bool> modified;
  std::map<Control, std::vector<std::string>> items;
  std::map<Control, bool> checked;
  int selected = -1;
  std::vector<Message> messages;
  std::deque<DialogAnswer> answers;
  std::deque<bool> yes_no_answers;  // none left: No
  std::deque<Answer> three_way_answers;  // none left: Cancel
  std::deque<std::optional<BatchChoice>> batch_answers;  // none left, or nullopt: Cancel
  std::vector<BatchChoice> batch_dialogs;  // as they were shown
  bool guide_present = true, guide_shown = false;
  std::vector<std::string> questions;  // "text|caption"
  std::vector<FileDialog> shown_dialogs;  // as they were when shown
  std::vector<std::string> refused;       // what the dialogs said about a wrong choice
  bool closed = false;
  std::string document_name;
};
