#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "document/text_io.h"
#include "features/kml_features.h"

// The attribute columns of a MIF file and the rows of its MID file, from the placemarks:
// (with --merge, Source,) Name, Description, Folder, then one column per ExtendedData name,
// in order of first appearance, then one per name of a description's fields that no
// ExtendedData gives (those that one gives go to its column), then the time columns, then the
// altitudes. A column is Char(w), w the longest value in bytes (1 to 254), or, typed, Integer,
// Float or Logical: its values unquoted, as the KML writes them,
// and empty where they are no number of the type (T and F for Logical), or longer than a
// value may be. The names MapInfo keeps for its own columns (Obj, Object, RowID, MI_Style,
// MI_Geometry, in any case) are renamed as a second column of a name is: "Obj_2".
//
// The columns are known once every placemark that gives a row has been read (RowCounts), and
// the rows are written from what that reading spooled: both take a placemark's values as
// RowValues.

// What the table's columns hold beyond the names, descriptions, folders and ExtendedData.
struct TableOptions {
  bool typed = false;               // Integer, Float and Logical columns where a Schema types them
  bool times = false;               // TimeStamp, TimeBegin and TimeEnd, those that occur
  bool plain_descriptions = false;  // descriptions without their HTML (read whole)
  bool altitude = false;            // AltitudeMin and AltitudeMax, last, whose values the objects give
  size_t source_width = 0;          // a first column Source, of this width (--merge); 0 for none
};

// A placemark's values as its row takes them: as much of each as is kept, and its whole size.
struct RowValue {
  std::string_view text;
  size_t size = 0;
};
struct RowValues {
  RowValue name, description;
  std::array<RowValue, 3> times;  // TimeStamp, TimeBegin, TimeEnd
  std::vector<std::pair<int, RowValue>> data;  // the first value of each field, by the document's field
  bool described_twice = false;  // a field of its description was left out for its ExtendedData's

  // The values of `placemark` of `reading`, whose own fields are the document's fields
  // field_of[i] (or the document's own, for a null `field_of`). With plain descriptions, the
  // description without its HTML, held in `plain_`.
  void Collect(const KmlFeatures& reading, const Placemark& placemark, const std::vector<int>* field_of,
               const TableOptions& options);

 private:
  std::string plain_;
  std::vector<uint32_t> seen_;  // of each field of the document: the placemark that gave it last
  uint32_t placemark_ = 0;
};

// What the values of the rows give a column: the longest (at most 254 bytes), how many are
// longer, and how many are not of each type a column may have (non-empty, FieldType order).
struct ColumnCounts {
  size_t width = 1;
  size_t long_values = 0;
  std::array<size_t, 6> not_of_type{};
  void Add(const RowValue& value, bool typed);
  void Add(const ColumnCounts& other);
};

// What the rows of the placemarks that give one tell the columns.
struct RowCounts {
  ColumnCounts name, description;
  std::array<ColumnCounts, 3> times;
  std::array<bool, 3> has_times{};       // a row with a value of the time
  std::vector<ColumnCounts> fields;      // by the document's field
  std::vector<size_t> rows_in_folder;    // by the document's folder
  size_t described_twice = 0;            // rows whose description gave a field their ExtendedData gave
  // Adds the row of `values`, of a placemark in `folder` (-1: none).
  void Add(const RowValues& values, int folder, const TableOptions& options);
  // Adds the counts of rows of other fields and folders, `other`'s field f being field_of[f]
  // and its folder f first_folder + f.
  void Add(const RowCounts& other, const std::vector<int>& field_of, size_t first_folder = 0);
};

class TableLayout {
 public:
  static constexpr size_t kMostColumns = 250;
  static constexpr size_t kLongestValue = 254;

  // The columns of the document's fields and folders for rows that gave `counts`.
  TableLayout(const KmlFeatures& document, const RowCounts& counts, TableOptions options = {});

  // "Columns 4\r\n  Name Char(5)\r\n  ...", in place of the MIF header's one column.
  std::string MifColumns() const;
  // Appends the MID line of the values of a placemark in `folder`, of the input `source`:
  // "\"a\",\"b \"\"c\"\"\",\"\"\r\n". `scratch` is the caller's, kept for the next row.
  void AppendRow(const RowValues& values, int folder, std::string& row, std::vector<std::string_view>& scratch,
                 std::string_view source = {}) const;
  // The line of empty values, of an object outside placemarks.
  std::string_view EmptyRow() const { return empty_row_; }
  // With altitudes, a row ends before their values, which the object's writer appends.
  bool altitude() const { return options_.altitude; }

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
  // The text that stands for a typed value too long to be one: no number of any type.
  static constexpr std::string_view kTooLong = "-";

  void AppendValues(const std::vector<std::string_view>& values, std::string& row) const;
  // The columns a row holds: all but the altitudes.
  size_t RowColumns() const { return names_.size() - (options_.altitude ? 2 : 0); }

  TableOptions options_;
  size_t first_fixed_ = 0;  // the column of Name: 1 after Source
  std::vector<std::string> names_;
  std::vector<FieldType> types_;
  std::vector<size_t> widths_;
  std::vector<size_t> invalid_;
  std::vector<int> column_of_field_;   // -1 for a field dropped
  int time_column_[3] = {-1, -1, -1};  // TimeStamp, TimeBegin, TimeEnd: its column, or -1
  // The names of the folders around a folder, outermost first, joined with "/": as much of it
  // as is kept, kept_paths_[kept], and the size of the whole.
  struct FolderValue {
    uint32_t kept;
    size_t size;
  };
  std::vector<FolderValue> folder_paths_;  // of each folder
  std::vector<std::string> kept_paths_;
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

// Appends `value` as a text value of a MID row: in double quotes, each of its own doubled.
void AppendQuoted(std::string_view value, std::string& row);
