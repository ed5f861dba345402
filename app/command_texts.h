#pragma once

#include <string>
#include <vector>

#include "features/feature_export.h"
#include "mif/coordinate_system.h"

// The texts of the window's messages and questions, UTF-8 (see app/main_view.h). Files are
// named by their names, with their folder on a line of its own when they share one.

// The error box for a file that could not be read or written.
std::string ReadErrorMessage(const std::string& path, const std::string& reason);
std::string WriteErrorMessage(const std::string& path, const std::string& reason);

// The question before existing files are replaced:
// "“a.mif”已存在。\r\n文件夹：D:\\数据\r\n\r\n要替换它吗？"; a MID file that goes with them is
// named after it.
std::string ReplaceQuestion(const std::vector<std::string>& paths, const std::string& stale_mid = "");

// The question before a document with unsaved edits is closed or replaced; `path` is the
// file it was read from or saved to, empty for none.
std::string UnsavedEditsQuestion(const std::string& path);

// What opening a document that holds characters GBK lacks says: how many, and that they stay
// in the file when it is saved.
std::string LackingCharactersMessage(const std::string& path, size_t lacking);

// What an export left out, cut or warns about (columns, long values, values of typed columns
// that are no number, names MapInfo keeps, vertices and objects left out, characters GBK
// lacks, the version the objects need, far vertices), one line each; empty for nothing.
// `rows`: the export wrote a MID file.
std::string ConversionNotes(const ConversionReport& report, const CoordinateSystem& crs, bool rows);

// The coordinate system of a file as a message names it; for Gauss-Krüger with its zone and
// central meridian: "CGCS2000 高斯-克吕格 3° 带，第 39 带（中央经线 117°）".
std::string CoordinateSystemName(const CoordinateSystem& crs, int zone);

// The message after 生成MIF has written `files`: which, how many objects, the coordinate
// system, and the notes of the conversion.
std::string ExportMessage(const std::vector<std::string>& files, const ConversionReport& report,
                          const CoordinateSystem& crs);

// Why a projected export wrote nothing: its data lie in no zone of the coordinate system.
std::string RefusedZoneMessage(const ConversionReport& report, const CoordinateSystem& crs);

// The summary of an export of several files: the file type and coordinate system used, the
// files written and those that failed, with their reasons.
struct BatchOutcome {
  std::string input;
  std::vector<std::string> written;  // empty: it failed
  std::string reason;                // why it failed
  std::string notes;                 // ConversionNotes of one that was written
};
std::string BatchSummary(const std::string& file_type, const CoordinateSystem& crs,
                         const std::vector<BatchOutcome>& outcomes);

// The text of 关于: the program, its version and its licence.
std::string AboutText();
