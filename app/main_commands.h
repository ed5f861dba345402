#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/command_texts.h"
#include "app/main_view.h"
#include "document/declared_encoding.h"
#include "document/file_io.h"
#include "document/text_io.h"
#include "features/feature_export.h"
#include "mif/coordinate_system.h"
#include "mif/element_search.h"

extern const std::string kKmlFilter;  // "KML文件|*.kml"
// The export's file types: today's MIF file, then the MIF and MID files of the full conversion.
extern const std::string kMifFilter;
constexpr int kMifWithMidType = 2;
constexpr int kTabType = 3;  // MapInfo's native table, of the same options as kMifWithMidType

// The actions of the main window's events, on a view, so that their logic runs without a
// window. One handler runs at a time, to completion.
class MainCommands {
 public:
  MainCommands(MainView& view, GeometryState& geometry);

  void OnCreated();           // select the UTF-8 choice
  void OnOpenButton();        // 按钮1, Ctrl+O: open with the chosen encoding and rebuild the tag list
  // Files dropped on the window or named on the command line. One opens as 按钮1 opens the
  // file chosen in its dialog; several are converted beside themselves, with the file type
  // and coordinate system asked once, and the last one is opened.
  void OnFilesGiven(const std::vector<std::string>& paths);
  void OnOpenMenu();          // menu 打开: open as ANSI, tag list untouched
  void OnSave();              // 按钮2, menu 保存, Ctrl+S
  void OnSaveAs();            // 按钮3, menu 另存为
  void OnAnalyse(GeometryKind kind);  // 按钮4, 按钮5, 按钮6
  void OnExportMif();         // 按钮7
  void OnTagSelected();       // 列表框2 selection
  void OnExit();              // menu 退出: closes the window, as its close box does
  // The window is to close: false when the user keeps it open for unsaved edits.
  bool OnCloseRequested();
  void OnUserGuide();         // menu 帮助 > 用户指南
  void OnAbout();             // menu 帮助 > 关于

  FileDialog 通用对话框1{FileDialog::Kind::kOpen, kKmlFilter, "", 1, ""};
  FileDialog 通用对话框2{FileDialog::Kind::kSave, "", "", 1, ""};

 private:
  struct OutputFile {
    std::string path;
    std::string bytes;
  };
  enum class OpenMode { kButton, kMenu };

  bool ShowOpenDialog(std::string* path);
  bool OpenDocument(const std::string& path, OpenMode mode = OpenMode::kButton);
  // Before unsaved edits are lost: asks whether to save them. True when the document may go
  // (saved, or the user does not want it saved).
  bool MayDiscardEdits();
  bool SaveDocument(const std::string& filter, const char* extension, const std::string& command);
  // The files of one export of the document `source` to `path`, of the export's file `type`,
  // in the coordinate system chosen last; `report` tells what the conversion left.
  std::vector<OutputFile> ExportFiles(const ExportSource& source, const std::string& path, int type,
                                      ConversionReport* report);
  // The four files of the table of `mif` and `mid`, the first at `path`; none when the text
  // gives no table (why in table_error_).
  std::vector<OutputFile> TableFiles(const std::string& path, std::string_view mif, std::string_view mid);
  // The files an export of `type` to `path` writes.
  std::vector<std::string> OutputPaths(const std::string& path, int type) const;
  // Writes the files as one, after one question about those that exist: all are new
  // afterwards, or all as they were; `stale`, a MID file that no longer belongs to its MIF
  // file, goes in the same step. False when nothing was written.
  bool WriteFiles(const std::vector<OutputFile>& files, const std::string& command, const std::string& stale = "");
  void ConvertFiles(const std::vector<std::string>& paths);
  // A file of several given at once, read for an export into `bytes` (and `decoded`, for
  // UTF-16) as the command line reads it; fails for a file without any KML element.
  FileStatus ReadExportSource(const std::string& path, std::string* bytes, std::string* decoded, ExportSource* source,
                              bool* read_as_gbk = nullptr) const;
  // Several files into one MIF file (and MID file), saved where the user says.
  void MergeFiles(const std::vector<std::string>& paths, int type);
  // The options of an export of the file `type`, with the choices made last in its dialog.
  ConversionOptions ExportOptions(int type) const;
  Encoding ChosenEncoding() const;

  MainView& view_;
  GeometryState& geometry_;
  std::string document_path_;  // the file opened or saved last; empty before any
  DocumentForm document_form_;  // how it was read: what a save keeps
  CoordinateSystem export_crs_;  // chosen in the export's Save dialog; kept for the run
  std::string table_error_;      // why the last table could not be made
};

// The coordinate system of a choice in the export's Save dialog; false, with what is wrong in
// `error`, for a zone that is none of the item's.
bool ChosenCoordinateSystem(const CoordinateSystemChoice& choice, CoordinateSystem* crs, std::string* error);
