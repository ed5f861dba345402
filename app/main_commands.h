#pragma once

#include <string_view>
#include <utility>
#include <vector>

#include "app/main_view.h"
#include "mif/element_search.h"

extern const char kKmlFilter[];  // "KML文件|*.kml"
// The export's file types: today's MIF file, then the MIF and MID files of the full conversion.
extern const char kMifFilter[];

// The actions of the main window's events, on a view, so that their logic runs without a
// window. One handler runs at a time, to completion.
class MainCommands {
 public:
  MainCommands(MainView& view, GeometryState& geometry);

  void OnCreated();           // select the UTF-8 choice
  void OnOpenButton();        // 按钮1: open with the chosen encoding and rebuild the tag list
  // A file dropped on the window or named on the command line: opened as 按钮1 opens the
  // file chosen in its dialog.
  void OnFileGiven(const std::string& path);
  void OnOpenMenu();          // menu 打开: open as ANSI, tag list untouched
  void OnSave();              // 按钮2, menu 保存
  void OnSaveAs();            // 按钮3, menu 另存为
  void OnAnalyse(GeometryKind kind);  // 按钮4, 按钮5, 按钮6
  void OnExportMif();         // 按钮7
  void OnTagSelected();       // 列表框2 selection
  void OnExit();              // menu 退出

  FileDialog 通用对话框1{FileDialog::Kind::kOpen, kKmlFilter, ""};
  FileDialog 通用对话框2{FileDialog::Kind::kSave, "", ""};

 private:
  bool ShowOpenDialog();
  void OpenDocument(const std::string& path);
  void SaveDocument(const char* filter, const char* extension, const char* command);
  bool ReadDocumentFile(const std::string& path, const char* command, std::string* bytes);
  // Writes unless `path` is an existing file that the user chooses not to replace.
  void WriteFile(const std::string& path, std::string_view bytes, const char* command);
  // Writes them all, after one question about those that exist; a failure stops the rest.
  void WriteFiles(const std::vector<std::pair<std::string, std::string_view>>& files, const char* command);
  void WriteWithAttributes(const std::string& document, const std::string& path);

  MainView& view_;
  GeometryState& geometry_;
};

// The text of the error box for a file that could not be read or written.
std::string ReadErrorMessage(const std::string& path, const std::string& reason);
std::string WriteErrorMessage(const std::string& path, const std::string& reason);
// The question before existing files are replaced: "“a.mif”已存在。\r\n要替换它吗？"
std::string ReplaceQuestion(const std::vector<std::string>& paths);
