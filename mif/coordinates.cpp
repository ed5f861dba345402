#include "mif/coordinates.h"

std::string_view FirstTuple(std::string_view text) {
  size_t begin = 0;
  while (begin < text.size() && IsTupleSeparator(text[begin])) ++begin;
  size_t end = begin;
  while (end < text.size() && !IsTupleSeparator(text[end])) ++end;
  return text.substr(begin, end - begin);
}

namespace coordinates_internal {

std::string JoinGroups(const std::vector<ElementMatch>& elements, size_t first, size_t from) {
  std::string joined;
  for (size_t k = first; k < elements.size(); ++k) {
    joined.append(elements[k].group.substr(k == first ? from : 0));
    joined += "\r\n";
  }
  return joined;
}

}  // namespace coordinates_internal
