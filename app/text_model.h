#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The text of the window's large-document view: UTF-16, an index of its lines, and one step
// of undo, as an edit box keeps it. Lines end at LF; a CR before the LF belongs to the break.
class TextModel {
 public:
  void SetText(std::u16string text);
  const std::u16string& text() const { return text_; }
  size_t size() const { return text_.size(); }

  size_t line_count() const { return line_starts_.size(); }
  size_t LineStart(size_t line) const { return line_starts_[line]; }
  // Where the line's text ends: before its CR LF or LF, or at the end of the text.
  size_t LineEnd(size_t line) const;
  // The line that holds `position` (a position at a line's start belongs to that line).
  size_t LineOf(size_t position) const;

  // Replaces [begin, end) with `with`. The change can be undone; typing that continues the
  // previous change (`continues` and an insertion right after it) joins it, so that undo takes
  // back the whole run of typing.
  void Replace(size_t begin, size_t end, std::u16string_view with, bool continues = false);
  // Takes the last change back; a second undo puts it back. Selects what came back as
  // [*begin, *end). False when there is nothing to undo.
  bool Undo(size_t* begin, size_t* end);
  bool CanUndo() const { return has_undo_; }

 private:
  std::u16string text_;
  std::vector<size_t> line_starts_{0};
  struct Change {
    size_t begin = 0;
    std::u16string removed;
    size_t inserted = 0;
  } undo_;
  bool has_undo_ = false;
};

// Where the rows begin that a line wraps into at `width` pixels, relative to the line's
// start; the first is 0, and an empty line has one row. A row ends after the last blank that
// fits (a space, a tab, a CR that ends no line, a form feed or vertical tab), as the edit box
// breaks rows; where none does, after the last character that fits (at least one per row).
// advance(c, x) is the width of character c drawn at x (a tab reaches the next tab stop).
template <typename Advance>
std::vector<size_t> WrapLine(std::u16string_view line, int width, Advance&& advance);

// ---- implementation ----

inline bool IsRowBreak(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\f' || c == u'\v'; }

template <typename Advance>
std::vector<size_t> WrapLine(std::u16string_view line, int width, Advance&& advance) {
  std::vector<size_t> rows{0};
  size_t row = 0;
  int x = 0;
  size_t after_blank = 0;  // where the row may break: after its last blank, 0 for none
  for (size_t i = 0; i < line.size(); ++i) {
    const char16_t c = line[i];
    const int w = advance(c, x);
    if (x + w > width && i > row && !IsRowBreak(c)) {
      row = after_blank > row ? after_blank : i;
      rows.push_back(row);
      after_blank = 0;
      x = 0;
      for (size_t j = row; j < i; ++j) x += advance(line[j], x);
      x += advance(c, x);
    } else {
      x += w;
    }
    if (IsRowBreak(c)) after_blank = i + 1;
  }
  return rows;
}

// The word around `position` (letters and digits of any script, or a run of one other kind),
// for a double click: [*begin, *end).
void WordAt(std::u16string_view text, size_t position, size_t* begin, size_t* end);
