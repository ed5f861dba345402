#pragma once

#include <string_view>

#include "features/part_index.h"

// The least and the greatest third coordinate of an object's vertices, as the file writes
// them: AltitudeMin and AltitudeMax. A vertex without one does not count; one whose third
// coordinate is no number makes the object's altitudes unknown.
class AltitudeRange {
 public:
  void Clear() { *this = AltitudeRange(); }
  // The vertices of a part: of a point, line or ring its tuples, of a polygon its rings',
  // of a track its gx:coord ("lon lat alt").
  void Add(const Part& part);
  bool no_number() const { return no_number_; }
  // ",min,max" ("," and "," when unknown or none), appended to `row`.
  void AppendTo(std::string& row) const;

 private:
  void AddField(std::string_view field);

  bool any_ = false;
  bool no_number_ = false;
  double least_ = 0, greatest_ = 0;
  std::string_view least_text_, greatest_text_;
};
