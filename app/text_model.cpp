#include "app/text_model.h"

#include <algorithm>

namespace {

// The starts of the lines that begin after the LFs of text[from, to).
void AddLineStarts(std::u16string_view text, size_t from, size_t to, std::vector<size_t>& starts) {
  for (size_t i = from; i < to; ++i) {
    if (text[i] == u'\n') starts.push_back(i + 1);
  }
}

// Letters and digits of any script are one kind; blanks, line breaks and each other character
// another of their own.
int KindOf(char16_t c) {
  if (c == u' ' || c == u'\t') return 1;
  if (c == u'\r' || c == u'\n') return 2;
  const bool ascii_word = (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
  return ascii_word || c >= 0x80 ? 0 : 3;
}

}  // namespace

void TextModel::SetText(std::u16string text) {
  text_ = std::move(text);
  line_starts_.assign(1, 0);
  AddLineStarts(text_, 0, text_.size(), line_starts_);
  has_undo_ = false;
  undo_ = Change();
}

size_t TextModel::LineEnd(size_t line) const {
  if (line + 1 >= line_starts_.size()) return text_.size();
  size_t end = line_starts_[line + 1] - 1;  // the LF
  if (end > line_starts_[line] && text_[end - 1] == u'\r') --end;
  return end;
}

size_t TextModel::LineOf(size_t position) const {
  auto after = std::upper_bound(line_starts_.begin(), line_starts_.end(), position);
  return static_cast<size_t>(after - line_starts_.begin()) - 1;
}

void TextModel::Replace(size_t begin, size_t end, std::u16string_view with, bool continues) {
  begin = std::min(begin, text_.size());
  end = std::clamp(end, begin, text_.size());
  if (continues && has_undo_ && end == begin && begin == undo_.begin + undo_.inserted) {
    undo_.inserted += with.size();
  } else {
    undo_ = {begin, text_.substr(begin, end - begin), with.size()};
    has_undo_ = true;
  }
  text_.replace(begin, end - begin, with);
  // The lines from the changed one on: those that began inside the replaced text go, the
  // new text's own are added, and the later ones move by the difference in length.
  const size_t first = LineOf(begin) + 1;
  auto after = std::upper_bound(line_starts_.begin() + static_cast<ptrdiff_t>(first), line_starts_.end(), end);
  std::vector<size_t> added;
  AddLineStarts(text_, begin, begin + with.size(), added);
  const ptrdiff_t delta = static_cast<ptrdiff_t>(with.size()) - static_cast<ptrdiff_t>(end - begin);
  for (auto it = after; it != line_starts_.end(); ++it) *it = static_cast<size_t>(static_cast<ptrdiff_t>(*it) + delta);
  after = line_starts_.erase(line_starts_.begin() + static_cast<ptrdiff_t>(first), after);
  line_starts_.insert(after, added.begin(), added.end());
}

bool TextModel::Undo(size_t* begin, size_t* end) {
  if (!has_undo_) return false;
  Change change = undo_;
  std::u16string inserted = text_.substr(change.begin, change.inserted);
  Replace(change.begin, change.begin + change.inserted, change.removed);
  // What Replace remembered undoes this undo: the text it took away comes back.
  undo_ = {change.begin, std::move(inserted), change.removed.size()};
  *begin = change.begin;
  *end = change.begin + change.removed.size();
  return true;
}

void WordAt(std::u16string_view text, size_t position, size_t* begin, size_t* end) {
  *begin = *end = std::min(position, text.size());
  if (*begin == text.size()) {
    if (*begin == 0) return;
    --*begin;
  }
  const int kind = KindOf(text[*begin]);
  while (*begin > 0 && KindOf(text[*begin - 1]) == kind && kind != 3) --*begin;
  *end = *begin + 1;
  while (*end < text.size() && KindOf(text[*end]) == kind && kind != 3) ++*end;
}
