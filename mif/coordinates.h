#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mif/element_tags.h"
#include "mif/pattern.h"

// The tuples of a coordinates text are its runs of characters other than space, tab, CR, LF,
// form feed and vertical tab. Coordinates travel as text: nothing here parses a number.

namespace coordinates_internal {

struct SeparatorTable {
  bool is_separator[256] = {};
  constexpr SeparatorTable() {
    for (unsigned char c : {' ', '\t', '\n', '\r', '\f', '\v'}) is_separator[c] = true;
  }
};
inline constexpr SeparatorTable kSeparators;

}  // namespace coordinates_internal

inline bool IsTupleSeparator(char c) {
  return coordinates_internal::kSeparators.is_separator[static_cast<unsigned char>(c)];
}

// The first two comma-separated fields of a tuple.
struct TupleFields {
  std::string_view x;  // before the first comma (KML: longitude)
  std::string_view y;  // after it, up to the next comma or the end (KML: latitude)
};

// True when `tuple` holds a comma and both fields are non-empty: "116.1,39.9,0" gives
// {"116.1", "39.9"}; "116.1", ",39.9" and "116.1," are not usable.
inline bool UsableTuple(std::string_view tuple, TupleFields* fields) {
  size_t comma = tuple.find(',');
  if (comma == 0 || comma == std::string_view::npos) return false;
  std::string_view rest = tuple.substr(comma + 1);
  std::string_view y = rest.substr(0, rest.find(','));
  if (y.empty()) return false;
  *fields = {tuple.substr(0, comma), y};
  return true;
}

// Whether a field is a coordinate as MapInfo reads one: a finite decimal number, that is an
// optional sign, digits with at most one point among them, and an optional exponent:
// "-116.5", "3.", ".5" and "1e5" are; "1e400", "nan", "0x74", "1.2.3", "--116", "" are not.
bool IsMifNumber(std::string_view field);

// A usable tuple whose two fields are both numbers: the vertex of a record.
inline bool IsVertex(const TupleFields& fields) { return IsMifNumber(fields.x) && IsMifNumber(fields.y); }

// Calls visit(tuple) for every tuple of `text`, in order.
template <typename Visit>
void ForEachTuple(std::string_view text, Visit&& visit) {
  const char* p = text.data();
  const char* const end = p + text.size();
  for (;;) {
    while (p != end && IsTupleSeparator(*p)) ++p;
    if (p == end) return;
    const char* start = p;
    while (p != end && !IsTupleSeparator(*p)) ++p;
    visit(std::string_view(start, static_cast<size_t>(p - start)));
  }
}

// Calls visit(fields) for every vertex of `text` (a usable tuple of two numbers), in order,
// and returns the number of bytes their fields hold.
template <typename Visit>
size_t ForEachVertex(std::string_view text, Visit&& visit) {
  size_t field_bytes = 0;
  ForEachTuple(text, [&](std::string_view tuple) {
    TupleFields f;
    if (!UsableTuple(tuple, &f) || !IsVertex(f)) return;
    field_bytes += f.x.size() + f.y.size();
    visit(f);
  });
  return field_bytes;
}

// The first tuple of `text`; empty when it has none.
std::string_view FirstTuple(std::string_view text);

// Calls visit(coordinates_text) for every match of `coordinates` (a compiled element pattern
// of "coordinates", or any other pattern) in the inner text: the group texts of `elements`,
// each followed by CR LF. The inner text is not built unless a match may run across the end
// of a group, which real documents never do.
template <typename Visit>
void ForEachCoordinatesText(const std::vector<ElementMatch>& elements, const Pattern& coordinates,
                            Visit&& visit);

// ---- implementation ----

namespace coordinates_internal {

// group[from..] followed by CR LF, then the later groups, each followed by CR LF.
std::string JoinGroups(const std::vector<ElementMatch>& elements, size_t first, size_t from);

// Calls visit for the elements of `name` that lie wholly inside `group`. Returns npos when
// nothing can run on past the end of the group, or else where the search has to go on in the
// inner text: an element whose closing tag is not in the group, or a "<" after the group's
// last ">", which may begin a tag that the CR LF and the next group complete.
template <typename Visit>
size_t VisitWithinGroup(std::string_view group, std::string_view name, Visit& visit) {
  size_t from = 0;
  for (size_t lt = group.find('<'); lt != std::string_view::npos; lt = group.find('<', lt + 1)) {
    size_t open_end = OpeningTagEnd(group, lt, name);
    if (open_end == std::string_view::npos) continue;
    TagSpan close = FindClosingTag(group, open_end, name);
    if (close.begin == std::string_view::npos) return from;
    visit(group.substr(open_end, close.begin - open_end));
    from = close.end;
    lt = close.end - 1;
  }
  size_t last_lt = group.rfind('<');
  size_t last_gt = group.rfind('>');
  if (last_lt != std::string_view::npos && (last_gt == std::string_view::npos || last_lt > last_gt)) return from;
  return std::string_view::npos;
}

}  // namespace coordinates_internal

template <typename Visit>
void ForEachCoordinatesText(const std::vector<ElementMatch>& elements, const Pattern& coordinates,
                            Visit&& visit) {
  using coordinates_internal::JoinGroups;
  if (!coordinates.is_element()) {
    std::string inner = JoinGroups(elements, 0, 0);
    for (const ElementMatch& m : coordinates.FindAll(inner)) visit(m.group);
    return;
  }
  for (size_t i = 0; i < elements.size(); ++i) {
    size_t rest = coordinates_internal::VisitWithinGroup(elements[i].group, coordinates.element_name(), visit);
    if (rest == std::string_view::npos) continue;
    std::string inner = JoinGroups(elements, i, rest);
    for (const ElementMatch& m : FindNamedElements(inner, coordinates.element_name())) visit(m.group);
    return;
  }
}
