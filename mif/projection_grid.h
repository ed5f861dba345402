#pragma once

#include <cstddef>
#include <vector>

#include "mif/transverse_mercator.h"

// A Transverse Mercator projection tabulated over an area, for the many vertices of a file:
// the projection's values at the nodes of a grid of 0.1 degrees, interpolated by cubics in
// both directions, which stay within 3 micrometres of the series itself (the projection is
// smooth there: its fourth derivatives are of the order of a metre per degree^4) at a tenth
// of its cost. Points outside the area, within 0.2 degrees of a pole's 84th parallel or more
// than 8 degrees from the central meridian are projected by the series.
class ProjectionGrid {
 public:
  ProjectionGrid(const TransverseMercator& projection, double min_lon, double max_lon, double min_lat, double max_lat);

  // Longitude and latitude in degrees to easting and northing in metres.
  void Forward(double longitude, double latitude, double* easting, double* northing) const;

  const TransverseMercator& projection() const { return projection_; }

 private:
  static constexpr double kPerDegree = 10.0;  // nodes
  static constexpr size_t kLargest = size_t{1} << 18;  // nodes: 4 MB

  struct Node {
    double x, y;
  };

  const TransverseMercator& projection_;
  // Node (i, j) lies at longitude (first_i_ + i) / kPerDegree, latitude (first_j_ + j) / kPerDegree.
  long first_i_ = 0, first_j_ = 0;
  long columns_ = 0, rows_ = 0;
  std::vector<Node> nodes_;  // by rows of equal latitude; empty when the area is too large
};
