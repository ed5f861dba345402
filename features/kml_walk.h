#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "mif/byte_scan.h"

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

// Calls visit(tag) for every start, end and empty-element tag of `text` from `from` on, in
// order, until a visit returns false (when it returns bool). `from` is 0 or where a tag that
// a walk from 0 takes begins: the walk from there is the same. A "<" that begins no tag
// ("a < b") is text, and so is a "<" inside an attribute value, which XML does not allow:
// so a tag never holds a "<" and a walk can be started at any tag.
template <typename Visit>
void WalkKml(std::string_view text, size_t from, Visit&& visit);
// The same, calling every_lt(position) first for every "<" from `from` on, also those inside
// markup passed over, so that another search can share the pass over the text.
template <typename Visit, typename EveryLt>
void WalkKml(std::string_view text, size_t from, Visit&& visit, EveryLt&& every_lt);

// Whether `text` holds an element of KML at all (kml, Document, Folder, Placemark, a
// geometry, a NetworkLink or a style): a text file, a GPX or HTML file holds none.
bool HoldsKmlElements(std::string_view text);

// The value of the attribute `name` of a tag ("<Data name=\"a\">" gives "a" for "name"),
// entities not yet decoded; empty when the tag has none.
std::string_view AttributeValue(std::string_view tag, std::string_view name);

// ---- implementation ----

namespace kml_walk_internal {

// Where a search for the end of a CDATA section, comment or declaration failed: it fails
// from anywhere after too, and is not made again (a file of unclosed "<!--" stays linear).
struct Unterminated {
  size_t cdata = SIZE_MAX, comment = SIZE_MAX, instruction = SIZE_MAX, declaration = SIZE_MAX;
};

// Where the tag, CDATA section, comment or declaration that begins at text[at] == '<' ends
// (one past its end), or npos for a "<" that begins none. `tag` is filled for a tag; its
// name stays empty for the rest.
size_t ReadMarkup(std::string_view text, size_t at, Unterminated& unterminated, KmlTag& tag);

}  // namespace kml_walk_internal

template <typename Visit>
void WalkKml(std::string_view text, size_t from, Visit&& visit) {
  WalkKml(text, from, visit, [](size_t) {});
}

template <typename Visit, typename EveryLt>
void WalkKml(std::string_view text, size_t from, Visit&& visit, EveryLt&& every_lt) {
  kml_walk_internal::Unterminated unterminated;
  size_t walked_to = from;
  ForEachByte(text, from, text.size(), '<', [&](size_t at) {
    every_lt(at);
    if (at < walked_to) return true;  // inside markup already passed over
    KmlTag tag;
    size_t end = kml_walk_internal::ReadMarkup(text, at, unterminated, tag);
    if (end == std::string_view::npos) return true;
    walked_to = end;
    if (tag.name.empty()) return true;
    if constexpr (std::is_void_v<decltype(visit(tag))>) {
      visit(tag);
      return true;
    } else {
      return visit(tag);
    }
  });
}
