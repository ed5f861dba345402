#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Reading back the MIF and MID text that this program writes, to write the same table in
// MapInfo's native form: the header's columns and coordinate system, then one object and one
// row at a time. Only the forms the export writes are read (Point, Pline, Pline Multiple,
// Region, Multipoint, Collection, None, and their Pen, Brush and Symbol clauses).

// Reads `text` in pieces, as LineReader::Read does.
std::function<size_t(char* buffer, size_t n)> ReadOf(std::string_view text);

// Lines of a text read in pieces, without their line ends.
class LineReader {
 public:
  // `read` fills up to n bytes of its buffer and returns how many; 0 at the end.
  using Read = std::function<size_t(char* buffer, size_t n)>;
  explicit LineReader(Read read) : read_(std::move(read)) {}
  // The lines of `text`.
  explicit LineReader(std::string_view text) : LineReader(ReadOf(text)) {}
  // The lines of `text`, read where it lies: eight bytes after it must be readable, and zeros.
  struct Padded {};
  LineReader(std::string_view text, Padded) : base_(text.data()), filled_(text.size()), ended_(true) {}
  // The next line; false at the end. The line stays valid until the next call, and eight
  // bytes after it can be read (zeros at the end of the text).
  bool Next(std::string_view* line);
  // Gives `line` back: the next call returns it again.
  void PutBack(std::string_view line) {
    std::string copy(line);
    put_back_.swap(copy);
    has_put_back_ = true;
  }
  // The text read from the source and not yet given as lines (a line given back first).
  std::string Unread() const;

 private:
  Read read_;
  std::string put_back_;
  bool has_put_back_ = false;
  std::string buffer_;  // the text read, then eight zeros
  const char* base_ = nullptr;  // the text, when it is not read into buffer_
  size_t filled_ = 0;   // how much of it is text
  size_t begin_ = 0;
  bool ended_ = false;
};

struct Pen {
  int width = 1, pattern = 2;
  uint32_t color = 0;
  bool operator==(const Pen&) const = default;
};
struct Brush {
  int pattern = 1;
  uint32_t fore = 0, back = 0xFFFFFF;
  bool transparent = true;  // no background colour given
  bool operator==(const Brush&) const = default;
};
struct Symbol {
  int shape = 35;
  uint32_t color = 0;
  int size = 12;
  bool operator==(const Symbol&) const = default;
};

// A part of an object: a point, a polyline, a region or a multipoint, with its style.
struct MifPart {
  enum class Kind { kPoint, kPline, kRegion, kMultipoint };
  Kind kind = Kind::kPoint;
  bool multiple = false;          // Pline Multiple: its sections kept apart even when one
  std::vector<uint32_t> sections;  // the vertices of each section (one, for a point or multipoint)
  std::vector<double> xy;          // x, y of every vertex in order
  Pen pen;
  Brush brush;
  Symbol symbol;
};

// An object of the MIF file: none, one part, or a collection of parts.
struct MifObject {
  bool collection = false;
  std::vector<MifPart> parts;  // empty for None
};

struct MifColumn {
  std::string name;  // as the file writes it (GBK)
  enum class Type { kChar, kInteger, kFloat, kLogical } type = Type::kChar;
  int width = 1;
};

struct MifTableHeader {
  int version = 300;
  std::vector<MifColumn> columns;
  std::string coordsys;  // the CoordSys line, without "CoordSys "
};

// Reads the header, up to and including its Data line. False, with the reason, when the text
// is no MIF header of ours.
bool ReadMifHeader(LineReader& lines, MifTableHeader* header, std::string* error);

// Reads the next object into `object`; false at the end of the text. `error` is set when the
// text is no object of ours.
bool ReadMifObject(LineReader& lines, MifObject* object, std::string* error);

// Splits a MID row into its values, unquoted; false when it is no row of ours.
bool SplitMidRow(std::string_view row, size_t columns, std::vector<std::string>* values);
