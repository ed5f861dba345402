#pragma once

#include <cstddef>
#include <functional>
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
// fits, or, where none does, after the last character that fits (at least one per row).
// advance(c, x) is the width of character c drawn at x (a tab reaches the next tab stop).
std::vector<size_t> WrapLine(std::u16string_view line, int width, const std::function<int(char16_t, int)>& advance);

// The word around `position` (letters and digits of any script, or a run of one other kind),
// for a double click: [*begin, *end).
void WordAt(std::u16string_view text, size_t position, size_t* begin, size_t* end);
