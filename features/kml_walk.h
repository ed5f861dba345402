#pragma once

#include <cstddef>
#include <string_view>

// A walk over the elements of a KML text that bears broken XML: the tags in order, CDATA
// sections, comments and processing instructions passed over whole. Names are given without
// their prefix ("gx:Track" is "Track"), as everywhere in this program.

struct KmlTag {
  std::string_view name;  // without "<", "/", a prefix, attributes
  std::string_view text;  // the whole tag, "<" to ">"
  size_t begin = 0;       // where the tag begins in the walked text
  size_t end = 0;         // one past its ">"
  bool closing = false;   // "</name>"
  bool empty = false;     // "<name/>": opens and closes at once
};

// Calls visit(tag) for every start, end and empty-element tag of `text`, in order. A "<"
// that begins no tag ("a < b") is text.
template <typename Visit>
void WalkKml(std::string_view text, Visit&& visit);

// The value of the attribute `name` of a tag ("<Data name=\"a\">" gives "a" for "name"),
// entities not yet decoded; empty when the tag has none.
std::string_view AttributeValue(std::string_view tag, std::string_view name);

// ---- implementation ----

namespace kml_walk_internal {

// Where a tag, CDATA section, comment or declaration that begins at text[at] == '<' ends (one
// past its end), or npos; `tag` is filled for start, end and empty-element tags.
size_t ReadMarkup(std::string_view text, size_t at, KmlTag* tag, bool* is_tag);

}  // namespace kml_walk_internal

template <typename Visit>
void WalkKml(std::string_view text, Visit&& visit) {
  size_t at = text.find('<');
  while (at != std::string_view::npos) {
    KmlTag tag;
    bool is_tag = false;
    size_t end = kml_walk_internal::ReadMarkup(text, at, &tag, &is_tag);
    if (end == std::string_view::npos) {
      at = text.find('<', at + 1);
      continue;
    }
    if (is_tag) visit(tag);
    at = text.find('<', end);
  }
}
