#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// Calls visit(fields) for every usable tuple of `text`, in order, and returns the number of
// bytes their fields hold.
template <typename Visit>
size_t ForEachUsableTuple(std::string_view text, Visit&& visit) {
  size_t field_bytes = 0;
  ForEachTuple(text, [&](std::string_view tuple) {
    TupleFields f;
    if (!UsableTuple(tuple, &f)) return;
    field_bytes += f.x.size() + f.y.size();
    visit(f);
  });
  return field_bytes;
}

// The first tuple of `text`; empty when it has none.
std::string_view FirstTuple(std::string_view text);

// Calls visit(coordinates_text) for every match of `coordinates` (a compiled
// "<coordinates>(.*?)</coordinates>") in the inner text: the group texts of `elements`, each
// followed by CR LF. The inner text is not built unless a match spans two elements.
template <typename Visit>
void ForEachCoordinatesText(const std::vector<ElementMatch>& elements, const Pattern& coordinates,
                            Visit&& visit);

// ---- implementation ----

namespace coordinates_internal {

std::string JoinGroups(const std::vector<ElementMatch>& elements, size_t first, size_t last);

}  // namespace coordinates_internal

template <typename Visit>
void ForEachCoordinatesText(const std::vector<ElementMatch>& elements, const Pattern& coordinates,
                            Visit&& visit) {
  using coordinates_internal::JoinGroups;
  if (!coordinates.is_literal_pair()) {
    std::string inner = JoinGroups(elements, 0, elements.size());
    for (const ElementMatch& m : coordinates.FindAll(inner)) visit(m.group);
    return;
  }
  // Neither literal holds CR or LF, so each occurrence lies inside one group text; only the
  // text between an opening and its closing literal may run across the CR LF joints.
  const std::string_view open = coordinates.open_literal();
  const std::string_view close = coordinates.close_literal();
  std::string spanning;
  size_t i = 0;
  size_t from = 0;
  while (i < elements.size()) {
    std::string_view group = elements[i].group;
    size_t start = group.find(open, from);
    if (start == std::string_view::npos) {
      ++i;
      from = 0;
      continue;
    }
    size_t inner = start + open.size();
    size_t stop = group.find(close, inner);
    if (stop != std::string_view::npos) {
      visit(group.substr(inner, stop - inner));
      from = stop + close.size();
      continue;
    }
    size_t j = i + 1;
    for (; j < elements.size(); ++j) {
      stop = elements[j].group.find(close);
      if (stop != std::string_view::npos) break;
    }
    if (j == elements.size()) return;  // no closing literal anywhere after this one
    spanning.assign(group.substr(inner));
    spanning += "\r\n";
    spanning += JoinGroups(elements, i + 1, j);
    spanning.append(elements[j].group.substr(0, stop));
    visit(std::string_view(spanning));
    i = j;
    from = stop + close.size();
  }
}
