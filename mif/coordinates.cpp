#include "mif/coordinates.h"

bool UsableTuple(std::string_view tuple, TupleFields* fields) {
  size_t comma = tuple.find(',');
  if (comma == 0 || comma == std::string_view::npos) return false;
  std::string_view rest = tuple.substr(comma + 1);
  std::string_view y = rest.substr(0, rest.find(','));
  if (y.empty()) return false;
  fields->x = tuple.substr(0, comma);
  fields->y = y;
  return true;
}

std::string_view FirstTuple(std::string_view text) {
  std::string_view first;
  size_t begin = 0;
  while (begin < text.size() && IsTupleSeparator(text[begin])) ++begin;
  size_t end = begin;
  while (end < text.size() && !IsTupleSeparator(text[end])) ++end;
  first = text.substr(begin, end - begin);
  return first;
}

namespace coordinates_internal {

std::string JoinGroups(const std::vector<ElementMatch>& elements, size_t first, size_t last) {
  std::string joined;
  for (size_t k = first; k < last; ++k) {
    joined.append(elements[k].group);
    joined += "\r\n";
  }
  return joined;
}

}  // namespace coordinates_internal
