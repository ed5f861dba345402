#pragma once

#include <cstdint>
#include <vector>

// The rings of a region, as a MIF file lists them, told apart into polygons: a ring inside
// an odd number of the others is a hole, of the smallest ring around it. A ring is inside
// another when none of its vertices is outside it and one is inside (so two rings of the
// same vertices are two polygons), in exact integer arithmetic on the stored grid.
struct RingOrder {
  std::vector<uint32_t> rings;  // each outer ring, followed by its holes, in the order given
  std::vector<uint32_t> holes;  // of each entry: an outer ring's holes, 0 for a hole
};

// `vertices` of each ring, whose grid coordinates follow one another in `xy` (x, y, ...).
RingOrder PolygonOrder(const std::vector<uint32_t>& vertices, const std::vector<int32_t>& xy);
