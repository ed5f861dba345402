#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/reference/kml_features.h"

namespace reference {

// What the table's columns hold beyond the names, descriptions, folders and ExtendedData.
struct TableOptions {
  bool typed = false;               // Integer, Float and Logical columns where a Schema types them
  bool times = false;               // TimeStamp, TimeBegin and TimeEnd, those that occur
  bool plain_descriptions = false;  // descriptions without their HTML (read whole)
};

// The attribute columns of a MIF file and the rows of its MID file, from the placemarks:
// Name, Description, Folder, then one column per ExtendedData name, in order of first
// appearance, then the time columns. A column is Char(w), w the longest value in bytes (1 to
// 254), or, typed, Integer, Float or Logical: its values unquoted, as the KML writes them,
// and empty where they are no number of the type (T and F for Logical), or longer than a
// value may be. The names MapInfo keeps for its own columns (Obj, Object, RowID, MI_Style,
// MI_Geometry, in any case) are renamed as a second column of a name is: "Obj_2".
class AttributeTable {
 public:
  static constexpr size_t kMostColumns = 250;
  static constexpr size_t kLongestValue = 254;

  // `used[i]` tells whether placemark i gives a row: the widths follow those rows. Many rows
  // are made on up to `threads` threads.
  AttributeTable(const KmlFeatures& features, const std::vector<bool>& used, int threads = 1,
                 TableOptions options = {});

  // "Columns 4\r\n  Name Char(5)\r\n  ...", in place of the MIF header's one column.
  std::string MifColumns() const;
  // The MID line of placemark `placemark` (a used one), or of empty values for -1:
  // "\"a\",\"b \"\"c\"\"\",\"\"\r\n".
  std::string_view Row(int placemark) const;

  size_t dropped_columns() const { return dropped_columns_; }  // beyond kMostColumns
  // The names that MapInfo keeps for itself, and what they were written as.
  const std::vector<std::pair<std::string, std::string>>& renamed() const { return renamed_; }
  size_t cut_values() const { return cut_values_; }            // longer than kLongestValue
  // The values of each typed column that are no number of its type, and were left empty.
  struct Invalid {
    std::string column;
    FieldType type;
    size_t count;
  };
  std::vector<Invalid> invalid_values() const;

 private:
  static constexpr size_t kChunk = 8192;  // placemarks whose rows are made together
  // The text that stands for a typed value too long to be one: no number of any type.
  static constexpr std::string_view kTooLong = "-";

  // The rows of placemarks [first, first + kChunk), one after another, and where each begins
  // (the rows of unused placemarks are empty), then where the last ends.
  struct Rows {
    std::string text;
    std::vector<uint32_t> begins;
    std::vector<size_t> widths;
    std::vector<size_t> invalid;  // of each column
    size_t cut_values = 0;
  };
  Rows MakeRows(size_t first, const std::vector<bool>& used) const;
  // The placemark's values, as much as is kept of each, and their sizes; `plain` holds the
  // description without its HTML.
  void Values(const Placemark& placemark, std::vector<std::string_view>& values, std::vector<size_t>& sizes,
              std::vector<bool>& given_columns, std::string& plain) const;
  // Appends the row of `values`; counts in `invalid` the typed values left empty.
  void AppendRow(const std::vector<std::string_view>& values, std::string& rows, std::vector<size_t>* invalid) const;

  const KmlFeatures& features_;
  TableOptions options_;
  std::vector<std::string> names_;
  std::vector<FieldType> types_;
  size_t time_columns_ = 0;  // where the time columns begin
  int time_column_[3] = {-1, -1, -1};  // TimeStamp, TimeBegin, TimeEnd: its column, or -1
  std::vector<size_t> invalid_;
  // The names of the folders around a folder, outermost first, joined with "/": as much of it
  // as is kept, kept_paths_[kept], and the size of the whole.
  struct FolderValue {
    uint32_t kept;
    size_t size;
  };
  std::vector<FolderValue> folder_paths_;  // of each folder
  std::vector<std::string> kept_paths_;
  std::vector<size_t> widths_;
  std::vector<Rows> rows_;  // by chunk
  std::string empty_row_;
  size_t dropped_columns_ = 0;
  size_t cut_values_ = 0;
  std::vector<std::pair<std::string, std::string>> renamed_;
};

// A name as MapInfo takes a column name: letters and digits of any script that GBK holds stay
// (Chinese, kana, Greek, Cyrillic, full-width Latin...); each blank, control character,
// punctuation mark or symbol (other than "_") becomes "_"; a name that begins with a digit gets
// "_" before it, and the name is cut to 31 bytes between two characters. "站点 类型" gives
// "站点_类型", "データ" stays.
std::string ColumnName(std::string_view name);

// `value` cut to at most `limit` bytes between two characters (GBK).
std::string_view CutBetweenCharacters(std::string_view value, size_t limit);

}  // namespace reference
