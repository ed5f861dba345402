#include "features/attribute_table.h"

#include <algorithm>
#include <unordered_set>

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

void AppendQuoted(std::string_view value, std::string& row) {
  row += '"';
  for (char c : value) {
    if (c == '"') row += '"';
    row += c;
  }
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

std::string ColumnName(std::string_view name) {
  std::string out;
  for (size_t i = 0; i < name.size();) {
    auto c = static_cast<unsigned char>(name[i]);
    if (IsLead(c) && i + 1 < name.size()) {
      // Rows A1 to A9 of GBK hold punctuation and symbols (also the full-width ones).
      if (c >= 0xA1 && c <= 0xA9) {
        out += '_';
      } else {
        out.append(name.substr(i, 2));
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

AttributeTable::AttributeTable(const KmlFeatures& features, const std::vector<bool>& used) : features_(features) {
  std::unordered_set<std::string> taken;
  for (const char* fixed : {"Name", "Description", "Folder"}) names_.push_back(UniqueName(fixed, taken));
  for (const std::string& field : features.fields) {
    if (names_.size() == kMostColumns) {
      ++dropped_columns_;
      continue;
    }
    names_.push_back(UniqueName(ColumnName(field), taken));
  }
  widths_.assign(names_.size(), 1);
  row_begins_.reserve(features.placemarks.size() + 1);
  for (size_t i = 0; i < features.placemarks.size(); ++i) {
    row_begins_.push_back(rows_.size());
    if (!used[i]) continue;
    std::vector<std::string> values = Values(features.placemarks[i]);
    for (size_t c = 0; c < values.size(); ++c) {
      if (values[c].size() > kLongestValue) ++cut_values_;
      widths_[c] = std::max(widths_[c], std::min(values[c].size(), kLongestValue));
    }
    AppendRow(values, rows_);
  }
  row_begins_.push_back(rows_.size());
  AppendRow(std::vector<std::string>(names_.size()), empty_row_);
}

std::vector<std::string> AttributeTable::Values(const Placemark& placemark) const {
  std::vector<std::string> values(names_.size());
  values[0] = features_.Text(placemark.name);
  values[1] = features_.Text(placemark.description);
  values[2] = features_.FolderPath(placemark.folder);
  std::vector<bool> set(names_.size(), false);
  for (uint32_t d = placemark.first_data; d < placemark.first_data + placemark.data_count; ++d) {
    const DataValue& value = features_.data[d];
    size_t column = kFixedColumns + static_cast<size_t>(value.field);
    if (column >= names_.size() || set[column]) continue;  // dropped, or given twice: the first
    set[column] = true;
    values[column] = features_.Text(value.value);
  }
  return values;
}

std::string AttributeTable::MifColumns() const {
  std::string columns = "Columns " + std::to_string(names_.size()) + "\r\n";
  for (size_t c = 0; c < names_.size(); ++c) {
    columns += "  " + names_[c] + " Char(" + std::to_string(widths_[c]) + ")\r\n";
  }
  return columns;
}

void AttributeTable::AppendRow(const std::vector<std::string>& values, std::string& rows) const {
  for (size_t c = 0; c < values.size(); ++c) {
    if (c > 0) rows += ',';
    AppendQuoted(CutBetweenCharacters(values[c], kLongestValue), rows);
  }
  rows += "\r\n";
}

std::string_view AttributeTable::Row(int placemark) const {
  if (placemark < 0) return empty_row_;
  size_t p = static_cast<size_t>(placemark);
  return std::string_view(rows_).substr(row_begins_[p], row_begins_[p + 1] - row_begins_[p]);
}
