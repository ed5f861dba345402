#include "features/description_fields.h"

#include <algorithm>
#include <span>

#include "features/kml_values.h"

namespace {

constexpr size_t kLongestName = 64;
constexpr long kMostWords = 4;

std::string TextOf(std::string_view html) {
  std::string text = PlainText(html);
  if (text == "<Null>") text.clear();
  return text;
}

// Finds the end of the tag at html[at] == '<', each ">" looked for once, so that a text of many
// "<" and no ">" is read in linear time.
class TagEnds {
 public:
  explicit TagEnds(std::string_view html) : html_(html) {}
  // Past the ">" of the tag at `at`; npos when none follows.
  size_t After(size_t at) {
    if (next_gt_ != std::string_view::npos && next_gt_ <= at) next_gt_ = html_.find('>', at);
    return next_gt_ == std::string_view::npos ? next_gt_ : next_gt_ + 1;
  }

 private:
  std::string_view html_;
  size_t next_gt_ = 0;
};

// The fields of the two-cell rows of the tables of `html`; false when it has no table cell.
bool TableFields(std::string_view html, std::vector<DescriptionField>& fields) {
  struct Table {
    bool row_open = false;
    bool holds_table = false;      // a cell of the open row holds a table
    size_t cell_begin = std::string_view::npos;  // of the open cell
    std::vector<std::string_view> cells;
  };
  std::vector<Table> tables;
  bool any_cell = false;
  auto close_cell = [&](Table& table, size_t at) {
    if (table.cell_begin == std::string_view::npos) return;
    table.cells.push_back(html.substr(table.cell_begin, at - table.cell_begin));
    table.cell_begin = std::string_view::npos;
  };
  auto close_row = [&](Table& table, size_t at) {
    close_cell(table, at);
    if (table.row_open && !table.holds_table && table.cells.size() == 2) {
      DescriptionField field{TextOf(table.cells[0]), TextOf(table.cells[1])};
      if (!field.name.empty()) fields.push_back(std::move(field));
    }
    table.row_open = table.holds_table = false;
    table.cells.clear();
  };
  auto innermost = [&]() -> Table& {
    if (tables.empty()) tables.emplace_back();  // a row or cell outside any <table>
    return tables.back();
  };
  TagEnds ends(html);
  for (size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', at + 1)) {
    const std::string name = HtmlTagName(html, at);
    if (name != "table" && name != "/table" && name != "tr" && name != "/tr" && name != "td" && name != "th" &&
        name != "/td" && name != "/th") {
      continue;
    }
    const size_t end = ends.After(at);
    if (end == std::string_view::npos) break;
    if (name == "table") {
      if (!tables.empty() && tables.back().cell_begin != std::string_view::npos) tables.back().holds_table = true;
      tables.emplace_back();
    } else if (name == "/table") {
      if (tables.empty()) continue;
      close_row(tables.back(), at);
      tables.pop_back();
    } else if (name == "tr") {
      Table& table = innermost();
      close_row(table, at);
      table.row_open = true;
    } else if (name == "/tr") {
      if (!tables.empty()) close_row(tables.back(), at);
    } else if (name == "td" || name == "th") {
      any_cell = true;
      Table& table = innermost();
      close_cell(table, at);
      table.row_open = true;
      table.cell_begin = end;
    } else if (!tables.empty()) {
      close_cell(tables.back(), at);
    }
    at = end - 1;
  }
  while (!tables.empty()) {
    close_row(tables.back(), html.size());
    tables.pop_back();
  }
  return any_cell;
}

// The lines of `html`, parted by line breaks, <br>, <p>, </p>, <div> and </div>, as text.
std::vector<std::string> LinesOf(std::string_view html) {
  std::vector<std::string> lines;
  TagEnds ends(html);
  size_t begin = 0;
  auto cut = [&](size_t at, size_t next) {
    lines.push_back(TextOf(html.substr(begin, at - begin)));
    begin = next;
  };
  for (size_t at = 0; at < html.size(); ++at) {
    const char c = html[at];
    if (c == '\r' || c == '\n') {
      cut(at, at + 1);
    } else if (c == '<') {
      const std::string name = HtmlTagName(html, at);
      if (name != "br" && name != "p" && name != "/p" && name != "div" && name != "/div") continue;
      const size_t end = ends.After(at);
      if (end == std::string_view::npos) break;
      cut(at, end);
      at = end - 1;
    }
  }
  cut(html.size(), html.size());
  return lines;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// What ends a sentence: ". ! ?" and "。！？" (GBK).
constexpr std::string_view kSentenceEnds[] = {".", "!", "?", "\xA1\xA3", "\xA3\xA1", "\xA3\xBF"};
// What parts its clauses: ", ;" and the full-width "，；", which a value seldom holds.
constexpr std::string_view kClauseMarks[] = {",", ";"};
constexpr std::string_view kFullWidthClauseMarks[] = {"\xA3\xAC", "\xA3\xBB"};

bool IsSentencePunctuation(std::string_view gbk_character) {
  using Marks = std::span<const std::string_view>;
  for (Marks marks : {Marks(kSentenceEnds), Marks(kClauseMarks), Marks(kFullWidthClauseMarks)}) {
    if (std::find(marks.begin(), marks.end(), gbk_character) != marks.end()) return true;
  }
  return false;
}

// Whether a value reads as the end of a sentence rather than as a field's: it ends as a
// sentence ends, or holds a full-width comma or semicolon.
bool ReadsAsSentence(std::string_view value) {
  for (std::string_view end : kSentenceEnds) {
    if (value.ends_with(end)) return true;
  }
  for (size_t at = 0; at + 1 < value.size(); ++at) {
    if (static_cast<unsigned char>(value[at]) < 0x81) continue;
    const std::string_view character = value.substr(at++, 2);
    for (std::string_view mark : kFullWidthClauseMarks) {
      if (character == mark) return true;
    }
  }
  return false;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The field of a line "name: value", "name = value" or "name：value" (GBK); false for any other.
bool LineField(std::string_view line, DescriptionField* field) {
  for (size_t at = 0; at < line.size();) {
    const auto byte = static_cast<unsigned char>(line[at]);
    const size_t length = byte >= 0x81 && at + 1 < line.size() ? 2 : 1;
    const std::string_view character = line.substr(at, length);
    // A colon between two digits is part of a time ("17:30"), not the end of a name.
    const bool in_time =
        character == ":" && at > 0 && at + 1 < line.size() && IsDigit(line[at - 1]) && IsDigit(line[at + 1]);
    const bool separator = (character == ":" && !in_time) || character == "=" || character == "\xA3\xBA";
    if (!separator) {
      if (IsSentencePunctuation(character)) return false;
      at += length;
      continue;
    }
    const std::string_view name = Trimmed(line.substr(0, at));
    const std::string_view rest = line.substr(at + length);
    if (name.empty() || name.size() > kLongestName || std::count(name.begin(), name.end(), ' ') >= kMostWords ||
        (character == ":" && rest.substr(0, 2) == "//")) {
      return false;
    }
    std::string value(Trimmed(rest));
    if (value == "<Null>") value.clear();
    *field = {std::string(name), std::move(value)};
    return true;
  }
  return false;
}

}  // namespace

std::vector<DescriptionField> DescriptionFields(std::string_view description) {
  const std::string html = UnwrapText(description);
  std::vector<DescriptionField> fields;
  if (TableFields(html, fields)) return fields;
  for (const std::string& line : LinesOf(html)) {
    if (line.empty()) continue;
    DescriptionField field;
    if (!LineField(line, &field)) return {};
    fields.push_back(std::move(field));
  }
  // One line alone is a field only when it does not read as a sentence ("特点是：坡陡，弯多。").
  if (fields.size() == 1 && ReadsAsSentence(fields[0].value)) fields.clear();
  return fields;
}
