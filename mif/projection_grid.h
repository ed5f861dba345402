#pragma once

#include <cmath>
#include <cstddef>
#include <cstring>
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
  void Forward(double longitude, double latitude, double* easting, double* northing) const {
    const double u = longitude * kPerDegree, v = latitude * kPerDegree;
    if (!(std::fabs(u) < 1e6 && std::fabs(v) < 1e6)) return ForwardBySeries(longitude, latitude, easting, northing);
    // The point's cell, without a call of floor.
    long cell_i = static_cast<long>(u), cell_j = static_cast<long>(v);
    cell_i -= u < static_cast<double>(cell_i);
    cell_j -= v < static_cast<double>(cell_j);
    // The first of the 4 x 4 nodes around it.
    const long i = cell_i - 1 - first_i_, j = cell_j - 1 - first_j_;
    if (i < 0 || j < 0 || i + 4 > columns_ || j + 4 > rows_) return ForwardBySeries(longitude, latitude, easting, northing);
    double wu[4], wv[4];
    CubicWeights(u - static_cast<double>(cell_i), wu);
    CubicWeights(v - static_cast<double>(cell_j), wv);
    // Easting and northing side by side, in the two lanes of a vector.
    using Pair = double __attribute__((vector_size(16)));
    Pair sum = {0, 0};
    for (int b = 0; b < 4; ++b) {
      Pair n[4];
      std::memcpy(n, &nodes_[static_cast<size_t>((j + b) * columns_ + i)], sizeof n);
      sum += wv[b] * (wu[0] * n[0] + wu[1] * n[1] + wu[2] * n[2] + wu[3] * n[3]);
    }
    *easting = sum[0] + projection_.false_easting();
    *northing = sum[1] + projection_.false_northing();
  }

  const TransverseMercator& projection() const { return projection_; }

 private:
  static constexpr double kPerDegree = 10.0;  // nodes

  // The weights of the cubic through the values at -1, 0, 1 and 2, at t in [0, 1).
  static void CubicWeights(double t, double (&w)[4]) {
    const double a = t + 1, b = t - 1, c = t - 2;
    const double tb = t * b, ac = a * c;
    w[0] = tb * c * (-1.0 / 6);
    w[1] = ac * b * 0.5;
    w[2] = ac * t * -0.5;
    w[3] = tb * a * (1.0 / 6);
  }
  void ForwardBySeries(double longitude, double latitude, double* easting, double* northing) const;
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
