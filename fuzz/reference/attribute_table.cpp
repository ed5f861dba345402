#include "fuzz/reference/attribute_table.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <unordered_set>

#include "document/encoding.h"
#include "features/kml_values.h"
#include "mif/coordinates.h"
#include "mif/ordered_parallel.h"

namespace reference {

namespace {

constexpr size_t kLongestName = 31;
constexpr size_t kFixedColumns = 3;

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

void AppendQuoted(std::string_view value, std::string& row) {
  row += '"';
  for (size_t quote; (quote = value.find('"')) != std::string_view::npos; value.remove_prefix(quote + 1)) {
    row.append(value.substr(0, quote + 1));
    row += '"';
  }
  row.append(value);
  row += '"';
}

}  // namespace

std::string_view CutBetweenCharacters(std::string_view value, size_t limit) {
  if (value.size() <= limit) return value;
  size_t end = 0;
  while (end < value.size()) {
    size_t width = IsLead(static_cast<unsigned char>(value[end])) && end + 1 < value.size() ? 2 : 1;
    if (end + width > limit) break;
    end += width;
  }
  return value.substr(0, end);
}

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

AttributeTable::AttributeTable(const KmlFeatures& features, const std::vector<bool>& used, int threads,
                               TableOptions options)
    : features_(features), options_(options) {
  std::unordered_set<std::string> taken(std::begin(kReservedNames), std::end(kReservedNames));
  // A name MapInfo keeps for itself is renamed as a second column of that name is.
  auto name_of = [&](const std::string& wanted) {
    std::string name = UniqueName(wanted, taken);
    if (name != wanted && std::count(std::begin(kReservedNames), std::end(kReservedNames), LowerAscii(wanted))) {
      renamed_.push_back({wanted, name});
    }
    return name;
  };
  for (const char* fixed : {"Name", "Description", "Folder"}) names_.push_back(name_of(fixed));
  // The time columns that some row has a value for; they come last, and are never dropped.
  bool times[3] = {false, false, false};
  if (options.times) {
    for (size_t i = 0; i < features.placemarks.size(); ++i) {
      if (!used[i]) continue;
      const PlacemarkTimes p = features.TimesOf(features.placemarks[i]);
      times[0] = times[0] || p.stamp.size > 0;
      times[1] = times[1] || p.begin.size > 0;
      times[2] = times[2] || p.end.size > 0;
    }
  }
  const size_t room = kMostColumns - static_cast<size_t>(times[0] + times[1] + times[2]);
  types_.assign(names_.size(), FieldType::kText);
  for (const std::string& field : features.fields) {
    if (names_.size() == room) {
      ++dropped_columns_;
      continue;
    }
    names_.push_back(name_of(ColumnName(field)));
    FieldType type = FieldType::kText;
    // A field that a <Data> element also uses has a value of no declared type.
    if (auto declared = features.field_types.find(field); options.typed && declared != features.field_types.end() &&
                                                          !features.untyped_fields.count(field)) {
      type = declared->second;
    }
    types_.push_back(type);
  }
  time_columns_ = names_.size();
  const char* time_names[3] = {"TimeStamp", "TimeBegin", "TimeEnd"};
  for (int t = 0; t < 3; ++t) {
    if (!times[t]) continue;
    time_column_[t] = static_cast<int>(names_.size());
    names_.push_back(name_of(time_names[t]));
    types_.push_back(FieldType::kText);
  }
  widths_.assign(names_.size(), 1);
  invalid_.assign(names_.size(), 0);
  // Each folder's path from its parent's, which comes before it: of a long path, only what a
  // column can hold is kept, and the folders inside one whose kept path is full share it, so
  // that deep folders take time and memory in proportion to their number.
  for (const KmlFolder& folder : features.folders) {
    FolderValue path{static_cast<uint32_t>(kept_paths_.size()), folder.name.size()};
    if (folder.parent < 0) {
      kept_paths_.push_back(folder.name.substr(0, KmlFeatures::kKeptBytes));
    } else {
      const FolderValue parent = folder_paths_[static_cast<size_t>(folder.parent)];
      path.size += parent.size + 1;
      const std::string& parent_kept = kept_paths_[parent.kept];
      if (parent_kept.size() >= KmlFeatures::kKeptBytes) {
        path.kept = parent.kept;
      } else {
        kept_paths_.push_back((parent_kept + "/" + folder.name).substr(0, KmlFeatures::kKeptBytes));
      }
    }
    folder_paths_.push_back(path);
  }
  const size_t chunks = (features.placemarks.size() + kChunk - 1) / kChunk;
  OrderedParallel<Rows>(
      chunks, chunks > 2 ? threads : 1, static_cast<size_t>(2 * threads),
      [&](size_t c) { return MakeRows(c * kChunk, used); },
      [&](size_t, Rows& rows) {
        for (size_t c = 0; c < widths_.size(); ++c) {
          widths_[c] = std::max(widths_[c], rows.widths[c]);
          invalid_[c] += rows.invalid[c];
        }
        cut_values_ += rows.cut_values;
        rows.widths = {};
        rows.invalid = {};
        rows_.push_back(std::move(rows));
        return true;
      });
  AppendRow(std::vector<std::string_view>(names_.size()), empty_row_, nullptr);
}

std::vector<AttributeTable::Invalid> AttributeTable::invalid_values() const {
  std::vector<Invalid> invalid;
  for (size_t c = 0; c < names_.size(); ++c) {
    if (invalid_[c]) invalid.push_back({names_[c], types_[c], invalid_[c]});
  }
  return invalid;
}

AttributeTable::Rows AttributeTable::MakeRows(size_t first, const std::vector<bool>& used) const {
  Rows rows;
  rows.widths.assign(names_.size(), 1);
  rows.invalid.assign(names_.size(), 0);
  std::vector<std::string_view> values(names_.size());
  std::vector<size_t> sizes(names_.size());
  std::vector<bool> given;
  std::string plain;
  const size_t end = std::min(features_.placemarks.size(), first + kChunk);
  for (size_t i = first; i < end; ++i) {
    rows.begins.push_back(static_cast<uint32_t>(rows.text.size()));
    if (!used[i]) continue;
    Values(features_.placemarks[i], values, sizes, given, plain);
    for (size_t c = 0; c < values.size(); ++c) {
      if (types_[c] != FieldType::kText) {
        // A number longer than a value may be is none: its cut text would be another.
        if (sizes[c] > kLongestValue) values[c] = kTooLong;
        continue;
      }
      if (sizes[c] > kLongestValue) ++rows.cut_values;
      rows.widths[c] = std::max(rows.widths[c], std::min(sizes[c], kLongestValue));
    }
    AppendRow(values, rows.text, &rows.invalid);
  }
  rows.begins.push_back(static_cast<uint32_t>(rows.text.size()));
  return rows;
}

void AttributeTable::Values(const Placemark& placemark, std::vector<std::string_view>& values, std::vector<size_t>& sizes,
                            std::vector<bool>& given_columns, std::string& plain) const {
  std::fill(values.begin(), values.end(), std::string_view());
  std::fill(sizes.begin(), sizes.end(), 0);
  std::vector<bool>& given = given_columns;
  given.assign(values.size(), false);
  auto set = [&](size_t column, ValueRef value) {
    values[column] = features_.Value(value);
    sizes[column] = value.size;
  };
  set(0, placemark.name);
  set(1, placemark.description);
  if (options_.plain_descriptions && placemark.description.size > 0) {
    plain = PlainText(values[1]);
    values[1] = plain;
    sizes[1] = plain.size();
  }
  const PlacemarkTimes placemark_times = features_.TimesOf(placemark);
  const ValueRef* times[3] = {&placemark_times.stamp, &placemark_times.begin, &placemark_times.end};
  for (int t = 0; t < 3; ++t) {
    if (time_column_[t] >= 0) set(static_cast<size_t>(time_column_[t]), *times[t]);
  }
  if (placemark.folder >= 0) {
    const FolderValue& path = folder_paths_[static_cast<size_t>(placemark.folder)];
    values[2] = kept_paths_[path.kept];
    sizes[2] = path.size;
  }
  for (uint32_t d = placemark.first_data; d < placemark.first_data + placemark.data_count; ++d) {
    const DataValue& value = features_.data[d];
    size_t column = kFixedColumns + static_cast<size_t>(value.field);
    if (column >= time_columns_ || given[column]) continue;  // dropped, or given twice: the first
    given[column] = true;
    set(column, value.value);
  }
}

std::string AttributeTable::MifColumns() const {
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

void AttributeTable::AppendRow(const std::vector<std::string_view>& values, std::string& rows,
                               std::vector<size_t>* invalid) const {
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
        if (IsNumber(value, types_[c])) {
          rows.append(value);
        } else if (!value.empty() && invalid) {
          ++(*invalid)[c];
        }
        break;
      case FieldType::kLogical: {
        std::string_view logical = Logical(value);
        rows.append(logical);
        if (logical.empty() && !value.empty() && invalid) ++(*invalid)[c];
        break;
      }
    }
  }
  rows += "\r\n";
}

std::string_view AttributeTable::Row(int placemark) const {
  if (placemark < 0) return empty_row_;
  const Rows& rows = rows_[static_cast<size_t>(placemark) / kChunk];
  const size_t i = static_cast<size_t>(placemark) % kChunk;
  return std::string_view(rows.text).substr(rows.begins[i], rows.begins[i + 1] - rows.begins[i]);
}

}  // namespace reference
