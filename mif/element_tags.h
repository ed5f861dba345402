#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mif/pattern.h"

// The tags of a named element, as the geometry search reads them:
//   opening: "<", an optional prefix ("kml:"), the name, then ">" directly, or a blank (space,
//            tab, CR, LF) and anything but ">" up to ">"; a tag whose last character before
//            ">" is "/" is self-closing and opens nothing;
//   closing: "</", an optional prefix, the name, optional blanks, ">".
// A prefix is a name [A-Za-z_][A-Za-z0-9._-]* followed by ":". Names are case-sensitive.
// So for Point: <Point>, <Point id="p1">, <kml:Point> open; <Points>, <PointStyle>,
// <Point/>, <Point /> do not; </Point>, </kml:Point >, </Point\n> close.

inline bool IsTagBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Where the element name begins after the "<" or "</" that ends at `at`: past a prefix when
// there is one. A name never holds ":", so only one reading can lead to a match.
size_t SkipPrefix(std::string_view text, size_t at);

// The end of the tag whose name, after its "<" or "</" and a prefix, begins at `name_begin`,
// or npos when it is no opening (closing) tag of `name`.
size_t TagEndAfterPrefix(std::string_view text, size_t name_begin, std::string_view name, bool closing);

// With text[at] == '<': the end (one past ">") of the opening tag of `name` that starts at
// `at`, or npos when none starts there.
size_t OpeningTagEnd(std::string_view text, size_t at, std::string_view name);

// With text[at] == '<': the end of the closing tag of `name` that starts at `at`, or npos.
size_t ClosingTagEnd(std::string_view text, size_t at, std::string_view name);

// The position of the first closing tag of `name` at or after `from`, and its end; npos when
// there is none.
struct TagSpan {
  size_t begin;
  size_t end;
};
TagSpan FindClosingTag(std::string_view text, size_t from, std::string_view name);

// The regular expression of the elements of `name`: the tags above, with "(.*?)" between.
std::string ElementPatternSource(std::string_view name);

// Every element of `name` in `text`, as the regular expression finds them: leftmost first,
// without overlap, each running to the first closing tag after its opening tag; group is
// the text between the tags.
std::vector<ElementMatch> FindNamedElements(std::string_view text, std::string_view name);

// Pairs the tags of one name into its elements as FindNamedElements does, the tags of a piece
// of the text at a time, in order: each opening tag from where the last element ended with the
// first closing tag from its end on, an element as soon as its closing tag is taken.
class ElementPairing {
 public:
  // Takes the opening and closing tags of the next piece of `text` (each list in order) and
  // calls found(element) for each element they complete.
  template <typename Found>
  void Take(std::string_view text, const std::vector<TagSpan>& openings, const std::vector<TagSpan>& closings,
            Found&& found);
  // Where the opening tag that waits for its closing tag begins: no element found from now on
  // begins before it. npos when none waits.
  size_t waiting() const { return open_.begin; }

 private:
  TagSpan open_{std::string_view::npos, std::string_view::npos};
  size_t from_ = 0;  // where the last element ended
};

// The opening and closing tags of elements of some names, gathered a "<" at a time, so that
// the search can share another pass over the text, in pieces, and then paired into elements.
class NamedTagScan {
 public:
  explicit NamedTagScan(std::vector<std::string_view> names) : names_(std::move(names)), found_(names_.size()) {}
  // A scan of the same names that has taken nothing yet.
  NamedTagScan Fresh() const { return NamedTagScan(names_); }
  // With text[at] == '<': takes the tag of one of the names that begins there, if any.
  void At(std::string_view text, size_t at);
  // Adds the tags of a scan of the same names over a later part of the text.
  void Append(const NamedTagScan& later);
  // FindNamedElements of each name, from the tags taken over the whole text.
  std::vector<std::vector<ElementMatch>> Elements(std::string_view text) const;
  // Hands the tags taken to `pairings` (one for each name, taking the pieces in order) and calls
  // found(name_index, element) for each element they complete.
  template <typename Found>
  void PairInto(std::string_view text, std::vector<ElementPairing>& pairings, Found&& found) const;

 private:
  struct Tags {
    std::vector<TagSpan> openings, closings;
  };
  std::vector<std::string_view> names_;
  std::vector<Tags> found_;
};

// FindNamedElements of each of `names`, in one pass over the text; a large text is scanned
// on up to `threads` threads.
std::vector<std::vector<ElementMatch>> FindElementsOfEach(std::string_view text, const std::vector<std::string_view>& names,
                                                          int threads);

// ---- implementation ----

template <typename Found>
void ElementPairing::Take(std::string_view text, const std::vector<TagSpan>& openings,
                          const std::vector<TagSpan>& closings, Found&& found) {
  size_t o = 0, c = 0;
  while (o < openings.size() || c < closings.size()) {
    if (c == closings.size() || (o < openings.size() && openings[o].begin < closings[c].begin)) {
      const TagSpan& open = openings[o++];
      // An opening tag while another waits, or inside the last element, begins none.
      if (open_.begin == std::string_view::npos && open.begin >= from_) open_ = open;
      continue;
    }
    const TagSpan& close = closings[c++];
    if (open_.begin == std::string_view::npos || close.begin < open_.end) continue;
    found(ElementMatch{text.substr(open_.begin, close.end - open_.begin), text.substr(open_.end, close.begin - open_.end)});
    from_ = close.end;
    open_ = {std::string_view::npos, std::string_view::npos};
  }
}

template <typename Found>
void NamedTagScan::PairInto(std::string_view text, std::vector<ElementPairing>& pairings, Found&& found) const {
  for (size_t n = 0; n < found_.size(); ++n) {
    pairings[n].Take(text, found_[n].openings, found_[n].closings, [&](const ElementMatch& element) { found(n, element); });
  }
}
