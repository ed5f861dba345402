#include "features/altitudes.h"

#include <charconv>
#include <string>

#include "features/object_writer.h"
#include "mif/coordinates.h"
#include "mif/element_tags.h"

namespace {

// The field after the second of a tuple, up to a third comma or its end; empty for none.
std::string_view ThirdField(std::string_view tuple) {
  const size_t first = tuple.find(',');
  const size_t second = first == std::string_view::npos ? first : tuple.find(',', first + 1);
  if (second == std::string_view::npos) return {};
  std::string_view third = tuple.substr(second + 1);
  return third.substr(0, third.find(','));
}

}  // namespace

void AltitudeRange::AddField(std::string_view field) {
  if (field.empty()) return;
  double value = 0;
  // from_chars takes no "+".
  const char* begin = field.data() + (field[0] == '+' ? 1 : 0);
  if (!IsMifNumber(field) || std::from_chars(begin, field.data() + field.size(), value).ec != std::errc()) {
    no_number_ = true;
    return;
  }
  if (!any_ || value < least_) least_ = value, least_text_ = field;
  if (!any_ || value > greatest_) greatest_ = value, greatest_text_ = field;
  any_ = true;
}

void AltitudeRange::Add(const Part& part) {
  auto add_tuples = [&](std::string_view text) {
    ForEachTuple(text, [&](std::string_view tuple) {
      TupleFields fields;
      if (UsableTuple(tuple, &fields) && IsVertex(fields)) AddField(ThirdField(tuple));
    });
  };
  switch (part.type) {
    case PartType::kPoint:
    case PartType::kLine:
    case PartType::kRing: add_tuples(part.text); break;
    case PartType::kPolygon:
      for (std::string_view ring : RingsOf(part.text)) add_tuples(ring);
      break;
    case PartType::kTrack:
      for (const ElementMatch& coord : FindNamedElements(part.text, "coord")) {
        std::string_view fields[3];
        size_t n = 0;
        ForEachTuple(coord.group, [&](std::string_view field) {
          if (n < 3) fields[n] = field;
          ++n;
        });
        if (n >= 3 && IsMifNumber(fields[0]) && IsMifNumber(fields[1])) AddField(fields[2]);
      }
      break;
    case PartType::kNone: break;
  }
}

void AltitudeRange::AppendTo(std::string& row) const {
  row += ',';
  if (any_ && !no_number_) row.append(least_text_);
  row += ',';
  if (any_ && !no_number_) row.append(greatest_text_);
}
