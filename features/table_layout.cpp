#include "features/table_layout.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <unordered_map>
#include <unordered_set>

#include "document/encoding.h"
#include "features/kml_values.h"
#include "mif/coordinates.h"

namespace {

constexpr size_t kLongestName = 31;

bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// `base` with "_2", "_3"... when a name like it (letter case aside, as MapInfo compares them)
// is taken, still within 31 bytes.
std::string UniqueName(const std::string& base, std::unordered_set<std::string>& taken) {
  std::string name = base;
  for (int n = 2; !taken.insert(LowerAscii(name)).second; ++n) {
    std::string suffix = std::to_string(n);
    suffix.insert(suffix.begin(), '_');
    name.assign(CutBetweenCharacters(base, kLongestName - suffix.size()));
    name += suffix;
  }
  return name;
}

bool IsDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsFloat(FieldType type) { return type == FieldType::kFloat || type == FieldType::kUnsignedFloat; }
bool IsUnsigned(FieldType type) { return type == FieldType::kUnsignedInteger || type == FieldType::kUnsignedFloat; }

// Whether `value` is a number of `type` as MapInfo stores it: an Integer fits 32 bits, a
// Float is finite (an eight-byte float holds it), and an unsigned value has no minus sign.
bool IsNumber(std::string_view value, FieldType type) {
  if (IsUnsigned(type) && !value.empty() && value[0] == '-') return false;
  if (IsFloat(type)) return IsMifNumber(value);
  std::string_view digits = value.substr(!value.empty() && (value[0] == '+' || value[0] == '-'));
  if (!IsDigits(digits)) return false;
  const long long limit = value[0] == '-' ? 2147483648LL : 2147483647LL;
  long long n = 0;
  for (char c : digits) {
    n = n * 10 + (c - '0');
    if (n > limit) return false;
  }
  return true;
}

// The names MapInfo gives its own columns of every table, in lower case: a column of the
// table must not take them.
constexpr const char* kReservedNames[] = {"obj", "object", "rowid", "mi_style", "mi_geometry"};

// "T" or "F" for the values of a bool field, empty for others.
std::string_view Logical(std::string_view value) {
  std::string lower(value);
  for (char& c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  if (lower == "1" || lower == "true") return "T";
  if (lower == "0" || lower == "false") return "F";
  return {};
}


}  // namespace

namespace {

// The code point of a character of two GBK bytes; 0 for none.
uint32_t CodePointOf(std::string_view pair) {
  std::string utf8 = AnsiToUtf8(pair);
  const auto* u = reinterpret_cast<const unsigned char*>(utf8.data());
  if (utf8.size() == 2) return (u[0] & 0x1Fu) << 6 | (u[1] & 0x3Fu);
  if (utf8.size() == 3) return (u[0] & 0x0Fu) << 12 | (u[1] & 0x3Fu) << 6 | (u[2] & 0x3Fu);
  return 0;
}

// Letters and digits of the scripts that GBK holds: Latin with its accents (pinyin), Greek,
// Cyrillic, kana, bopomofo, Chinese, and the full-width Latin letters and digits.
bool IsLetterOrDigit(uint32_t c) {
  static constexpr std::pair<uint32_t, uint32_t> kRanges[] = {
      {0x00C0, 0x00D6}, {0x00D8, 0x00F6}, {0x00F8, 0x02AF}, {0x0370, 0x03FF}, {0x0400, 0x04FF},
      {0x1E00, 0x1EFF}, {0x3005, 0x3007}, {0x3041, 0x3096}, {0x309D, 0x309E}, {0x30A1, 0x30FA},
      {0x30FC, 0x30FE}, {0x3105, 0x312F}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF}, {0xF900, 0xFAFF},
      {0xFF10, 0xFF19}, {0xFF21, 0xFF3A}, {0xFF41, 0xFF5A},
  };
  for (const auto& [low, high] : kRanges) {
    if (c >= low && c <= high) return true;
  }
  return false;
}

}  // namespace

std::string ColumnName(std::string_view name) {
  std::string out;
  for (size_t i = 0; i < name.size();) {
    auto c = static_cast<unsigned char>(name[i]);
    if (IsLead(c) && i + 1 < name.size()) {
      // Rows A1 and A2 of GBK hold punctuation, symbols and numbering signs; elsewhere a
      // letter or digit of any script stays and anything else is punctuation or a symbol.
      std::string_view pair = name.substr(i, 2);
      const bool keep = c > 0xA2 && IsLetterOrDigit(CodePointOf(pair));
      if (keep) {
        out.append(pair);
      } else {
        out += '_';
      }
      i += 2;
      continue;
    }
    bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    out += allowed ? static_cast<char>(c) : '_';
    ++i;
  }
  if (out.empty() || (out[0] >= '0' && out[0] <= '9')) out = std::string(1, '_').append(out);
  return std::string(CutBetweenCharacters(out, kLongestName));
}

void RowValues::Collect(const KmlFeatures& reading, const Placemark& placemark, const std::vector<int>* field_of,
                        const TableOptions& options) {
  auto value_of = [&](ValueRef value) { return RowValue{reading.Value(value), value.size}; };
  name = value_of(placemark.name);
  description = value_of(placemark.description);
  if (options.plain_descriptions && placemark.description.size > 0) {
    plain_ = PlainText(description.text);
    description = {plain_, plain_.size()};
  }
  const PlacemarkTimes placemark_times = reading.TimesOf(placemark);
  times = {value_of(placemark_times.stamp), value_of(placemark_times.begin), value_of(placemark_times.end)};
  described_twice = placemark.given & KmlFeatures::kDescribedTwice;
  data.clear();
  // A field given twice: the first value counts.
  ++placemark_;
  for (uint32_t d = placemark.first_data; d < placemark.first_data + placemark.data_count; ++d) {
    const DataValue& value = reading.data[d];
    const int field = field_of ? (*field_of)[static_cast<size_t>(value.field)] : value.field;
    if (field < 0) continue;
    if (static_cast<size_t>(field) >= seen_.size()) seen_.resize(static_cast<size_t>(field) + 1, 0);
    if (seen_[static_cast<size_t>(field)] == placemark_) continue;
    seen_[static_cast<size_t>(field)] = placemark_;
    data.emplace_back(field, value_of(value.value));
  }
}

void ColumnCounts::Add(const RowValue& value, bool typed) {
  constexpr size_t kLongest = TableLayout::kLongestValue;
  if (value.size > kLongest) ++long_values;
  width = std::max(width, std::min(value.size, kLongest));
  if (!typed || value.text.empty()) return;
  // A number longer than a value may be is none: its cut text would be another.
  const bool too_long = value.size > kLongest;
  for (FieldType type : {FieldType::kInteger, FieldType::kUnsignedInteger, FieldType::kFloat, FieldType::kUnsignedFloat}) {
    if (too_long || !IsNumber(value.text, type)) ++not_of_type[static_cast<size_t>(type)];
  }
  if (too_long || Logical(value.text).empty()) ++not_of_type[static_cast<size_t>(FieldType::kLogical)];
}

void ColumnCounts::Add(const ColumnCounts& other) {
  width = std::max(width, other.width);
  long_values += other.long_values;
  for (size_t t = 0; t < not_of_type.size(); ++t) not_of_type[t] += other.not_of_type[t];
}

void RowCounts::Add(const RowValues& values, int folder, const TableOptions& options) {
  name.Add(values.name, false);
  description.Add(values.description, false);
  if (options.times) {
    for (size_t t = 0; t < 3; ++t) {
      has_times[t] = has_times[t] || values.times[t].size > 0;
      times[t].Add(values.times[t], false);
    }
  }
  for (const auto& [field, value] : values.data) {
    if (static_cast<size_t>(field) >= fields.size()) fields.resize(static_cast<size_t>(field) + 1);
    fields[static_cast<size_t>(field)].Add(value, options.typed);
  }
  described_twice += values.described_twice;
  if (folder >= 0) {
    if (static_cast<size_t>(folder) >= rows_in_folder.size()) rows_in_folder.resize(static_cast<size_t>(folder) + 1, 0);
    ++rows_in_folder[static_cast<size_t>(folder)];
  }
}

void RowCounts::Add(const RowCounts& other, const std::vector<int>& field_of, size_t first_folder) {
  name.Add(other.name);
  description.Add(other.description);
  for (size_t t = 0; t < 3; ++t) {
    has_times[t] = has_times[t] || other.has_times[t];
    times[t].Add(other.times[t]);
  }
  for (size_t f = 0; f < other.fields.size(); ++f) {
    const auto field = static_cast<size_t>(field_of[f]);
    if (field >= fields.size()) fields.resize(field + 1);
    fields[field].Add(other.fields[f]);
  }
  described_twice += other.described_twice;
  for (size_t f = 0; f < other.rows_in_folder.size(); ++f) {
    if (other.rows_in_folder[f] == 0) continue;
    const size_t folder = first_folder + f;
    if (folder >= rows_in_folder.size()) rows_in_folder.resize(folder + 1, 0);
    rows_in_folder[folder] += other.rows_in_folder[f];
  }
}

TableLayout::TableLayout(const KmlFeatures& document, const RowCounts& counts, TableOptions options)
    : options_(options) {
  std::unordered_set<std::string> taken(std::begin(kReservedNames), std::end(kReservedNames));
  // A name MapInfo keeps for itself is renamed as a second column of that name is.
  auto name_of = [&](const std::string& wanted) {
    std::string name = UniqueName(wanted, taken);
    if (name != wanted && std::count(std::begin(kReservedNames), std::end(kReservedNames), LowerAscii(wanted))) {
      renamed_.push_back({wanted, name});
    }
    return name;
  };
  std::vector<ColumnCounts> column_counts;
  auto add_column = [&](const std::string& name, FieldType type, const ColumnCounts& of) {
    names_.push_back(name_of(name));
    types_.push_back(type);
    column_counts.push_back(of);
  };
  // The folder column's values are the folders' paths, whose names may come after the
  // placemarks in them: known now.
  ColumnCounts folder;
  for (const KmlFolder& f : document.folders) {
    FolderValue path{static_cast<uint32_t>(kept_paths_.size()), f.name.size()};
    if (f.parent < 0) {
      kept_paths_.push_back(f.name.substr(0, KmlFeatures::kKeptBytes));
    } else {
      // Of a long path, only what a column can hold is kept, and the folders inside one whose
      // kept path is full share it, so that deep folders take time and memory in proportion
      // to their number.
      const FolderValue parent = folder_paths_[static_cast<size_t>(f.parent)];
      path.size += parent.size + 1;
      const std::string& parent_kept = kept_paths_[parent.kept];
      if (parent_kept.size() >= KmlFeatures::kKeptBytes) {
        path.kept = parent.kept;
      } else {
        kept_paths_.push_back((parent_kept + "/" + f.name).substr(0, KmlFeatures::kKeptBytes));
      }
    }
    const size_t rows = folder_paths_.size() < counts.rows_in_folder.size() ? counts.rows_in_folder[folder_paths_.size()] : 0;
    if (rows > 0) {
      folder.width = std::max(folder.width, std::min(path.size, kLongestValue));
      if (path.size > kLongestValue) folder.long_values += rows;
    }
    folder_paths_.push_back(path);
  }
  if (options.source_width > 0) {
    ColumnCounts source;
    source.width = std::min(options.source_width, kLongestValue);
    add_column("Source", FieldType::kText, source);
  }
  first_fixed_ = names_.size();
  add_column("Name", FieldType::kText, counts.name);
  add_column("Description", FieldType::kText, counts.description);
  add_column("Folder", FieldType::kText, folder);
  // The time columns that some row has a value for; they come last, and are never dropped.
  const bool times[3] = {options.times && counts.has_times[0], options.times && counts.has_times[1],
                         options.times && counts.has_times[2]};
  const size_t room = kMostColumns - static_cast<size_t>(times[0] + times[1] + times[2]) - (options.altitude ? 2 : 0);
  // (The Source column is among names_ already.)
  const ColumnCounts none;
  column_of_field_.assign(document.fields.size(), -1);
  std::unordered_map<std::string_view, size_t> field_named;  // of the ExtendedData names
  for (size_t f = 0; f < document.fields.size(); ++f) {
    if (!document.fields[f].starts_with(kDescribed)) field_named.emplace(document.fields[f], f);
  }
  // The ExtendedData names first, then those of the descriptions' fields.
  for (const bool described : {false, true}) {
    for (size_t f = 0; f < document.fields.size(); ++f) {
      std::string_view field = document.fields[f];
      const ColumnCounts& of = f < counts.fields.size() ? counts.fields[f] : none;
      if (field.starts_with(kDescribed) != described) continue;
      if (described) {
        field.remove_prefix(kDescribed.size());
        if (auto twin = field_named.find(field); twin != field_named.end()) {
          const int column = column_of_field_[twin->second];
          column_of_field_[f] = column;
          if (column >= 0) column_counts[static_cast<size_t>(column)].Add(of);
          continue;
        }
      }
      if (names_.size() == room) {
        ++dropped_columns_;
        continue;
      }
      FieldType type = FieldType::kText;
      // A field that a <Data> element also uses has a value of no declared type.
      const std::string name(field);
      if (auto declared = document.field_types.find(name); !described && options.typed &&
                                                           declared != document.field_types.end() &&
                                                           !document.untyped_fields.count(name)) {
        type = declared->second;
      }
      column_of_field_[f] = static_cast<int>(names_.size());
      add_column(ColumnName(name), type, of);
    }
  }
  const char* time_names[3] = {"TimeStamp", "TimeBegin", "TimeEnd"};
  for (int t = 0; t < 3; ++t) {
    if (!times[t]) continue;
    time_column_[t] = static_cast<int>(names_.size());
    add_column(time_names[t], FieldType::kText, counts.times[t]);
  }
  if (options.altitude) {
    add_column("AltitudeMin", FieldType::kFloat, none);
    add_column("AltitudeMax", FieldType::kFloat, none);
  }
  for (size_t c = 0; c < names_.size(); ++c) {
    const ColumnCounts& of = column_counts[c];
    if (types_[c] == FieldType::kText) {
      widths_.push_back(of.width);
      invalid_.push_back(0);
      cut_values_ += of.long_values;
    } else {
      widths_.push_back(1);
      invalid_.push_back(of.not_of_type[static_cast<size_t>(types_[c])]);
    }
  }
  AppendValues(std::vector<std::string_view>(RowColumns()), empty_row_);
}

std::vector<TableLayout::Invalid> TableLayout::invalid_values() const {
  std::vector<Invalid> invalid;
  for (size_t c = 0; c < names_.size(); ++c) {
    if (invalid_[c]) invalid.push_back({names_[c], types_[c], invalid_[c]});
  }
  return invalid;
}

std::string TableLayout::MifColumns() const {
  std::string columns = "Columns " + std::to_string(names_.size()) + "\r\n";
  for (size_t c = 0; c < names_.size(); ++c) {
    columns += "  " + names_[c];
    switch (types_[c]) {
      case FieldType::kText: columns += " Char(" + std::to_string(widths_[c]) + ")\r\n"; break;
      case FieldType::kInteger:
      case FieldType::kUnsignedInteger: columns += " Integer\r\n"; break;
      case FieldType::kFloat:
      case FieldType::kUnsignedFloat: columns += " Float\r\n"; break;
      case FieldType::kLogical: columns += " Logical\r\n"; break;
    }
  }
  return columns;
}

void TableLayout::AppendRow(const RowValues& values, int folder, std::string& row,
                            std::vector<std::string_view>& scratch, std::string_view source) const {
  std::vector<std::string_view>& by_column = scratch;
  by_column.assign(RowColumns(), std::string_view());
  auto set = [&](size_t column, const RowValue& value) {
    // A number longer than a value may be is none: its cut text would be another.
    by_column[column] = types_[column] != FieldType::kText && value.size > kLongestValue ? kTooLong : value.text;
  };
  if (first_fixed_ > 0) by_column[0] = source;
  set(first_fixed_, values.name);
  set(first_fixed_ + 1, values.description);
  if (folder >= 0) by_column[first_fixed_ + 2] = kept_paths_[folder_paths_[static_cast<size_t>(folder)].kept];
  for (int t = 0; t < 3; ++t) {
    if (time_column_[t] >= 0) set(static_cast<size_t>(time_column_[t]), values.times[static_cast<size_t>(t)]);
  }
  for (const auto& [field, value] : values.data) {
    const int column = static_cast<size_t>(field) < column_of_field_.size() ? column_of_field_[static_cast<size_t>(field)] : -1;
    if (column >= 0) set(static_cast<size_t>(column), value);
  }
  AppendValues(by_column, row);
}

void TableLayout::AppendValues(const std::vector<std::string_view>& values, std::string& rows) const {
  for (size_t c = 0; c < values.size(); ++c) {
    if (c > 0) rows += ',';
    const std::string_view value = values[c];
    switch (types_[c]) {
      case FieldType::kText:
        AppendQuoted(CutBetweenCharacters(value, kLongestValue), rows);
        break;
      case FieldType::kInteger:
      case FieldType::kUnsignedInteger:
      case FieldType::kFloat:
      case FieldType::kUnsignedFloat:
        if (IsNumber(value, types_[c])) rows.append(value);
        break;
      case FieldType::kLogical:
        rows.append(Logical(value));
        break;
    }
  }
  rows += "\r\n";
}

void AppendQuoted(std::string_view value, std::string& row) {
  row += '"';
  for (size_t quote; (quote = value.find('"')) != std::string_view::npos; value.remove_prefix(quote + 1)) {
    row.append(value.substr(0, quote + 1));
    row += '"';
  }
  row.append(value);
  row += '"';
}
