#include "tab/mif_objects.h"

#include <charconv>
#include <cstddef>
#include <cstring>

namespace {

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool StartsWithWord(std::string_view line, std::string_view word, std::string_view* rest) {
  if (line.size() < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if ((line[i] | 0x20) != (word[i] | 0x20)) return false;
  }
  if (line.size() > word.size() && line[word.size()] != ' ' && line[word.size()] != '(') return false;
  *rest = Trimmed(line.substr(word.size()));
  return true;
}

// A number as from_chars reads it, or with a '+' before it, as the export copies it from KML.
template <typename Number>
bool ParseNumber(std::string_view* text, Number* value) {
  *text = Trimmed(*text);
  if (text->size() > 1 && (*text)[0] == '+' && (*text)[1] != '-') text->remove_prefix(1);
  auto [end, result] = std::from_chars(text->data(), text->data() + text->size(), *value);
  if (result != std::errc()) return false;
  text->remove_prefix(static_cast<size_t>(end - text->data()));
  return true;
}

// The digits at `p`, at most eight: how many, and their value in *value. Eight bytes from `p`
// must be readable (LineReader keeps them so).
int EightDigits(const char* p, uint64_t* value) {
  uint64_t chunk;
  std::memcpy(&chunk, p, 8);
  const uint64_t x = chunk ^ 0x3030303030303030ull;
  // The top bit of each byte that is no digit; a carry runs only above the first of them.
  const uint64_t non_digit = ((x + 0x7676767676767676ull) | x) & 0x8080808080808080ull;
  const int n = non_digit ? __builtin_ctzll(non_digit) / 8 : 8;
  if (n == 0) {
    *value = 0;
    return 0;
  }
  // The n digits as the last of eight, after leading zeros, then all eight at once.
  uint64_t v = n == 8 ? chunk : (chunk << (8 * (8 - n))) | (0x3030303030303030ull >> (8 * n));
  v -= 0x3030303030303030ull;
  v = v * 10 + (v >> 8);
  v = (((v & 0x000000FF000000FFull) * 0x000F424000000064ull) +
       (((v >> 16) & 0x000000FF000000FFull) * 0x0000271000000001ull)) >> 32;
  *value = static_cast<uint32_t>(v);
  return n;
}

// 10^n, exact, up to 10^16.
constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16};
constexpr uint64_t kScales[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000,
                                10000000000, 100000000000, 1000000000000, 10000000000000, 100000000000000,
                                1000000000000000, 10000000000000000};

// `digits` / 10^decimals (16 to 19 digits, at most 16 decimals) as the nearest double, or
// false where this cannot tell it; Google Earth writes most coordinates with 16 or 17 digits.
// The quotient of the two as doubles is within two units of the last place of the nearest,
// and the exact distance of a candidate from the decimal value, in 128-bit integers, says
// which one that is.
bool NearestOfLongDecimal(uint64_t digits, int decimals, double* value) {
  __extension__ typedef unsigned __int128 Wide;
  const double guess = static_cast<double>(digits) / kPowers[decimals];
  uint64_t bits;
  std::memcpy(&bits, &guess, 8);
  const int biased = static_cast<int>(bits >> 52);
  constexpr uint64_t kHidden = uint64_t{1} << 52;
  uint64_t m = (bits & (kHidden - 1)) | kHidden;  // guess = m * 2^(biased - 1075)
  // The decimal value and a candidate, both in halves of the last place times 10^decimals.
  const int shift = 1 - (biased - 1075);
  if (biased == 0 || shift < 0 || shift > 63) return false;
  const Wide value_halves = static_cast<Wide>(digits) << shift;
  const Wide half = kScales[decimals];
  for (int step = 0; step < 4; ++step) {
    const Wide candidate_halves = static_cast<Wide>(2 * m) * half;
    if (value_halves > candidate_halves + half) {
      ++m;
    } else if (value_halves + half < candidate_halves) {
      --m;
    } else {
      // Just below a power of two the doubles lie twice as close, and halfway between two the
      // even one is taken: from_chars decides both.
      if (m == kHidden && value_halves < candidate_halves) return false;
      if (value_halves == candidate_halves + half || value_halves + half == candidate_halves) return false;
      bits = (static_cast<uint64_t>(biased) << 52) | (m & (kHidden - 1));
      std::memcpy(value, &bits, 8);
      return true;
    }
    if (m < kHidden || m >= 2 * kHidden) return false;  // into another binade
  }
  return false;
}

// A coordinate as the export writes it, most often "-ddd.dddddd": up to 15 digits with a
// point make an integer and a power of ten that are both exact in a double, and their
// quotient is then the correctly rounded value; up to 19 are read by NearestOfLongDecimal.
// Anything else is read by from_chars. Eight bytes after the text must be readable.
bool ParseCoordinate(std::string_view* text, double* value) {
  const char* p = text->data();
  const char* const end = p + text->size();
  while (p < end && *p == ' ') ++p;
  const char* const start = p;
  const bool negative = p < end && *p == '-';
  p += p < end && (*p == '-' || *p == '+');
  uint64_t digits = 0, part = 0;
  int count = EightDigits(p, &digits), decimals = 0;
  p += count;
  if (p < end && *p == '.') {
    ++p;
    for (int n = 8; n == 8 && decimals <= 8;) {
      n = EightDigits(p, &part);
      digits = digits * kScales[n] + part;
      decimals += n;
      p += n;
    }
    count += decimals;
  }
  // More than eight digits before the point end the first eight at a digit, which is none of
  // the blanks that end a number.
  double magnitude = 0;
  if (p > end || (p < end && *p != ' ' && *p != '\t') || count == 0 || count > 19 ||
      (count > 15 && !NearestOfLongDecimal(digits, decimals, &magnitude))) {
    text->remove_prefix(static_cast<size_t>(start - text->data()));
    return ParseNumber(text, value);
  }
  if (count <= 15) magnitude = static_cast<double>(digits) / kPowers[decimals];
  *value = negative ? -magnitude : magnitude;
  text->remove_prefix(static_cast<size_t>(p - text->data()));
  return true;
}

// The numbers of a clause "(a,b,c)" in `text`; how many were read, up to `n`.
size_t ClauseNumbers(std::string_view text, long* numbers, size_t n) {
  size_t open = text.find('(');
  if (open == std::string_view::npos) return 0;
  text.remove_prefix(open + 1);
  size_t count = 0;
  while (count < n && ParseNumber(&text, &numbers[count])) {
    ++count;
    text = Trimmed(text);
    if (text.empty() || text.front() != ',') break;
    text.remove_prefix(1);
  }
  return count;
}

bool ReadVertices(LineReader& lines, size_t count, MifPart* part, std::string* error) {
  std::string_view line;
  for (size_t i = 0; i < count; ++i) {
    double x = 0, y = 0;
    if (!lines.Next(&line) || !ParseCoordinate(&line, &x) || !ParseCoordinate(&line, &y)) {
      *error = "a vertex line is missing or holds no two numbers";
      return false;
    }
    part->xy.push_back(x);
    part->xy.push_back(y);
  }
  return true;
}

// The style lines after a part's vertices; the first other line is given back.
void ReadStyles(LineReader& lines, MifPart* part) {
  std::string_view line;
  while (lines.Next(&line)) {
    std::string_view rest, trimmed = Trimmed(line);
    long n[3] = {};
    if (StartsWithWord(trimmed, "Pen", &rest) && ClauseNumbers(rest, n, 3) == 3) {
      part->pen = {static_cast<int>(n[0]), static_cast<int>(n[1]), static_cast<uint32_t>(n[2])};
    } else if (StartsWithWord(trimmed, "Brush", &rest)) {
      const size_t count = ClauseNumbers(rest, n, 3);
      part->brush.pattern = static_cast<int>(n[0]);
      part->brush.fore = static_cast<uint32_t>(n[1]);
      part->brush.transparent = count < 3;
      part->brush.back = count < 3 ? 0xFFFFFF : static_cast<uint32_t>(n[2]);
    } else if (StartsWithWord(trimmed, "Symbol", &rest) && ClauseNumbers(rest, n, 3) == 3) {
      part->symbol = {static_cast<int>(n[0]), static_cast<uint32_t>(n[1]), static_cast<int>(n[2])};
    } else {
      lines.PutBack(line);
      return;
    }
  }
}

// A count on a line of its own, or after a keyword.
bool ReadCount(std::string_view text, size_t* count) {
  text = Trimmed(text);
  auto [end, result] = std::from_chars(text.data(), text.data() + text.size(), *count);
  return result == std::errc() && end == text.data() + text.size();
}

// `count` sections, each its count of vertices on a line, then its vertices.
bool ReadSections(LineReader& lines, size_t count, MifPart* part, std::string* error) {
  for (size_t s = 0; s < count; ++s) {
    size_t vertices = 0;
    std::string_view count_line;
    if (!lines.Next(&count_line) || !ReadCount(count_line, &vertices)) {
      return *error = "a section of a Pline Multiple or Region has no count", false;
    }
    part->sections.push_back(static_cast<uint32_t>(vertices));
    if (!ReadVertices(lines, vertices, part, error)) return false;
  }
  return true;
}

// Reads the part that `line` begins (trimmed); false when it begins none.
bool ReadPart(LineReader& lines, std::string_view line, MifPart* part, std::string* error) {
  part->sections.clear();
  part->xy.clear();
  part->multiple = false;
  part->pen = Pen();
  part->brush = Brush();
  part->symbol = Symbol();
  std::string_view rest;
  size_t count = 0;
  if (StartsWithWord(line, "Point", &rest)) {
    part->kind = MifPart::Kind::kPoint;
    double x = 0, y = 0;
    if (!ParseNumber(&rest, &x) || !ParseNumber(&rest, &y)) {
      *error = "a Point holds no two numbers";
      return false;
    }
    part->xy = {x, y};
    part->sections = {1};
  } else if (StartsWithWord(line, "Multipoint", &rest) || StartsWithWord(line, "Pline", &rest)) {
    const bool points = line[0] == 'M' || line[0] == 'm';
    part->kind = points ? MifPart::Kind::kMultipoint : MifPart::Kind::kPline;
    std::string_view after;
    if (!points && StartsWithWord(rest, "Multiple", &after)) {
      part->multiple = true;
      if (!ReadCount(after, &count)) return *error = "a Pline Multiple has no count", false;
      if (!ReadSections(lines, count, part, error)) return false;
    } else {
      if (!ReadCount(rest, &count)) return *error = "a Pline or Multipoint has no count", false;
      part->sections.push_back(static_cast<uint32_t>(count));
      if (!ReadVertices(lines, count, part, error)) return false;
    }
  } else if (StartsWithWord(line, "Region", &rest)) {
    part->kind = MifPart::Kind::kRegion;
    if (!ReadCount(rest, &count)) return *error = "a Region has no count", false;
    if (!ReadSections(lines, count, part, error)) return false;
  } else {
    *error = "a line begins no object: " + std::string(line.substr(0, 40));
    return false;
  }
  ReadStyles(lines, part);
  return true;
}

}  // namespace

std::function<size_t(char* buffer, size_t n)> ReadOf(std::string_view text) {
  return [text](char* buffer, size_t n) mutable {
    const size_t taken = std::min(n, text.size());
    std::memcpy(buffer, text.data(), taken);
    text.remove_prefix(taken);
    return taken;
  };
}

bool LineReader::Next(std::string_view* line) {
  if (has_put_back_) {
    has_put_back_ = false;
    *line = put_back_;
    return true;
  }
  constexpr size_t kPiece = size_t{1} << 16, kPadding = 8;
  for (;;) {
    const char* base = base_ ? base_ : buffer_.data();
    const void* found = begin_ < filled_ ? std::memchr(base + begin_, '\n', filled_ - begin_) : nullptr;
    if (found || (ended_ && begin_ < filled_)) {
      const size_t stop = found ? static_cast<size_t>(static_cast<const char*>(found) - base) : filled_;
      std::string_view text(base + begin_, stop - begin_);
      if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
      begin_ = found ? stop + 1 : filled_;
      *line = text;
      return true;
    }
    if (ended_) return false;
    buffer_.erase(0, begin_);
    filled_ -= begin_;
    begin_ = 0;
    buffer_.resize(filled_ + kPiece + kPadding);
    const size_t got = read_(buffer_.data() + filled_, kPiece);
    filled_ += got;
    // Zeros after the text: eight bytes after any line can be read, and are no digits.
    std::memset(buffer_.data() + filled_, 0, kPadding);
    buffer_.resize(filled_ + kPadding);
    if (got == 0) ended_ = true;
  }
}

std::string LineReader::Unread() const {
  std::string text = has_put_back_ ? put_back_ + "\n" : std::string();
  text.append(buffer_, begin_, filled_ - begin_);
  return text;
}

bool ReadMifHeader(LineReader& lines, MifTableHeader* header, std::string* error) {
  *header = MifTableHeader();
  std::string_view line, rest;
  while (lines.Next(&line)) {
    line = Trimmed(line);
    if (StartsWithWord(line, "Version", &rest)) {
      if (!ParseNumber(&rest, &header->version)) return *error = "the Version line holds no number", false;
    } else if (StartsWithWord(line, "CoordSys", &rest)) {
      header->coordsys = rest;
    } else if (StartsWithWord(line, "Columns", &rest)) {
      size_t count = 0;
      if (!ReadCount(rest, &count)) return *error = "the Columns line holds no count", false;
      for (size_t c = 0; c < count; ++c) {
        std::string_view column;
        if (!lines.Next(&column)) return *error = "the header ends before its columns", false;
        column = Trimmed(column);
        const size_t blank = column.find_last_of(" \t");
        if (blank == std::string_view::npos) return *error = "a column has no type", false;
        MifColumn parsed;
        parsed.name = Trimmed(column.substr(0, blank));
        std::string_view type = column.substr(blank + 1), width;
        if (StartsWithWord(type, "Char", &width)) {
          long n[1] = {};
          if (ClauseNumbers(width, n, 1) != 1) return *error = "a Char column has no width", false;
          parsed.width = static_cast<int>(n[0]);
        } else if (type == "Integer") {
          parsed.type = MifColumn::Type::kInteger;
          parsed.width = 4;
        } else if (type == "Float") {
          parsed.type = MifColumn::Type::kFloat;
          parsed.width = 8;
        } else if (type == "Logical") {
          parsed.type = MifColumn::Type::kLogical;
        } else {
          return *error = "a column's type is none of Char, Integer, Float, Logical", false;
        }
        header->columns.push_back(std::move(parsed));
      }
    } else if (StartsWithWord(line, "Data", &rest)) {
      return true;
    }
  }
  *error = "the text ends before its Data line";
  return false;
}

bool ReadMifObject(LineReader& lines, MifObject* object, std::string* error) {
  std::string_view line;
  do {
    if (!lines.Next(&line)) return false;
    line = Trimmed(line);
  } while (line.empty());
  std::string_view rest;
  object->collection = false;
  if (StartsWithWord(line, "None", &rest)) {
    object->parts.clear();
    return true;
  }
  size_t parts = 1;
  if (StartsWithWord(line, "Collection", &rest)) {
    object->collection = true;
    if (!ReadCount(rest, &parts)) return *error = "a Collection has no count", false;
    if (!lines.Next(&line)) return *error = "a Collection ends early", false;
    line = Trimmed(line);
  }
  object->parts.resize(parts);
  for (size_t p = 0; p < parts; ++p) {
    if (p > 0) {
      if (!lines.Next(&line)) return *error = "a Collection ends early", false;
      line = Trimmed(line);
    }
    // ReadPart reads on from `line`, which the reader may then overwrite: keep a copy.
    const std::string first(line);
    if (!ReadPart(lines, first, &object->parts[p], error)) return false;
  }
  return true;
}

bool SplitMidRow(std::string_view row, size_t columns, std::vector<std::string>* values) {
  values->clear();
  size_t i = 0;
  for (size_t c = 0; c < columns; ++c) {
    std::string value;
    if (i < row.size() && row[i] == '"') {
      for (++i;; ++i) {
        if (i >= row.size()) return false;
        if (row[i] == '"') {
          if (i + 1 < row.size() && row[i + 1] == '"') {
            value += '"';
            ++i;
          } else {
            ++i;
            break;
          }
        } else {
          value += row[i];
        }
      }
    } else {
      const size_t comma = row.find(',', i);
      const size_t end = comma == std::string_view::npos ? row.size() : comma;
      value.assign(row.substr(i, end - i));
      i = end;
    }
    values->push_back(std::move(value));
    if (c + 1 < columns) {
      if (i >= row.size() || row[i] != ',') return false;
      ++i;
    }
  }
  return i == row.size();
}
