#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/main_view.h"
#include "document/file_io.h"
#include "document/text_io.h"
#include "features/feature_export.h"
#include "mif/coordinate_system.h"
#include "mif/element_search.h"

extern const std::string kKmlFilter;  // "KML文件|*.kml"
// The export's file types: today's MIF file, then the MIF and MID files of the full conversion.
extern const std::string kMifFilter;
constexpr int kMifWithMidType = 2;

// The actions of the main window's events, on a view, so that their logic runs without a
// window. One handler runs at a time, to completion.
class MainCommands {
 public:
  MainCommands(MainView& view, GeometryState& geometry);

  void OnCreated();           // select the UTF-8 choice
  void OnOpenButton();        // 按钮1: open with the chosen encoding and rebuild the tag list
  // Files dropped on the window or named on the command line. One opens as 按钮1 opens the
  // file chosen in its dialog; several are converted beside themselves with the export's
  // file type chosen last, and the last one is opened.
  void OnFilesGiven(const std::vector<std::string>& paths);
  void OnOpenMenu();          // menu 打开: open as ANSI, tag list untouched
  void OnSave();              // 按钮2, menu 保存
  void OnSaveAs();            // 按钮3, menu 另存为
  void OnAnalyse(GeometryKind kind);  // 按钮4, 按钮5, 按钮6
  void OnExportMif();         // 按钮7
  void OnTagSelected();       // 列表框2 selection
  void OnExit();              // menu 退出

  FileDialog 通用对话框1{FileDialog::Kind::kOpen, kKmlFilter, "", 1, ""};
  FileDialog 通用对话框2{FileDialog::Kind::kSave, "", "", 1, ""};

 private:
  struct OutputFile {
    std::string path;
    std::string bytes;
  };

  bool ShowOpenDialog(std::string* path);
  bool OpenDocument(const std::string& path);
  void SaveDocument(const std::string& filter, const char* extension, const std::string& command);
  bool ReadDocumentFile(const std::string& path, const std::string& command, std::string* bytes);
  // The files of one export of `document` (ANSI) to `path`, of the export's file `type`, in
  // the coordinate system chosen last; `report`, when given, tells what the conversion left.
  std::vector<OutputFile> ExportFiles(const std::string& document, const std::string& path, int type,
                                      ConversionReport* report = nullptr);
  // Writes the files as one, after one question about those that exist: all are new
  // afterwards, or all as they were; `stale`, a MID file that no longer belongs to its MIF
  // file, goes in the same step. False when nothing was written.
  bool WriteFiles(const std::vector<OutputFile>& files, const std::string& command, const std::string& stale = "");
  void ConvertFiles(const std::vector<std::string>& paths);

  MainView& view_;
  GeometryState& geometry_;
  std::string document_path_;             // the file opened last; empty before any
  Encoding document_encoding_ = Encoding::kAnsi;  // how it was read: what a save keeps
  CoordinateSystem export_crs_;           // chosen in the export's Save dialog; kept for the run
};

// The coordinate system of a choice in the export's Save dialog; false, with what is wrong in
// `error`, for a zone that is none of the item's.
bool ChosenCoordinateSystem(const CoordinateSystemChoice& choice, CoordinateSystem* crs, std::string* error);
// What an export left out, cut or warns about (columns, long values, values of typed columns
// that are no number, vertices and objects left out, the version the objects need, what a
// projection left), one line each; empty for nothing. `rows`: the export wrote a MID file.
std::string ConversionNotes(const ConversionReport& report, const CoordinateSystem& crs, bool rows);
// Why a projected export wrote nothing: its data lie in no zone of the coordinate system.
std::string RefusedZoneMessage(const ConversionReport& report, const CoordinateSystem& crs);

// The text of the error box for a file that could not be read or written.
std::string ReadErrorMessage(const std::string& path, const std::string& reason);
std::string WriteErrorMessage(const std::string& path, const std::string& reason);
// The question before existing files are replaced: "“a.mif”已存在。\r\n要替换它吗？"; a MID
// file that goes with them is named after it.
std::string ReplaceQuestion(const std::vector<std::string>& paths, const std::string& stale_mid = "");
