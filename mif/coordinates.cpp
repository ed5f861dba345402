#include "mif/coordinates.h"

#include <algorithm>
#include <charconv>
#include <cmath>

std::string_view FirstTuple(std::string_view text) {
  size_t begin = 0;
  while (begin < text.size() && IsTupleSeparator(text[begin])) ++begin;
  size_t end = begin;
  while (end < text.size() && !IsTupleSeparator(text[end])) ++end;
  return text.substr(begin, end - begin);
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool IsMifNumber(std::string_view field) {
  size_t i = 0;
  if (i < field.size() && (field[i] == '-' || field[i] == '+')) ++i;
  // The mantissa: digits with at most one point, and one digit at least. Its order of
  // magnitude, from the first significant digit, tells whether a double holds it.
  bool digit = false, point = false, fraction_significant = false;
  long long whole_digits = 0, fraction_zeros = 0;  // significant digits before the point; zeros after it
  for (; i < field.size(); ++i) {
    const char c = field[i];
    if (c == '.' && !point) {
      point = true;
    } else if (IsDigit(c)) {
      digit = true;
      if (!point) {
        if (whole_digits > 0 || c != '0') ++whole_digits;
      } else if (whole_digits == 0 && !fraction_significant) {
        if (c == '0') {
          ++fraction_zeros;
        } else {
          fraction_significant = true;
        }
      }
    } else {
      break;
    }
  }
  if (!digit) return false;
  const bool significant = whole_digits > 0 || fraction_significant;
  const long long order = whole_digits > 0 ? whole_digits - 1 : -(fraction_zeros + 1);
  long long exponent = 0;
  if (i < field.size() && (field[i] == 'e' || field[i] == 'E')) {
    ++i;
    const bool negative = i < field.size() && field[i] == '-';
    if (i < field.size() && (field[i] == '-' || field[i] == '+')) ++i;
    const size_t first = i;
    for (; i < field.size() && IsDigit(field[i]); ++i) exponent = std::min(exponent * 10 + (field[i] - '0'), 1LL << 40);
    if (i == first) return false;
    if (negative) exponent = -exponent;
  }
  if (i != field.size()) return false;
  // Below 10^308 every number is finite, as is any that rounds to zero; at 10^308 the
  // largest double, 1.8e308, decides.
  const long long magnitude = order + exponent;
  if (!significant || magnitude < 308) return true;
  if (magnitude > 308) return false;
  double value = 0;
  const char* const begin = field.data() + (field[0] == '+');
  auto [end, error] = std::from_chars(begin, field.data() + field.size(), value);
  return error == std::errc() && end == field.data() + field.size() && std::isfinite(value);
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
