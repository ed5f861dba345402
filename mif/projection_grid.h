#pragma once

#include <cmath>
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
  void Forward(double longitude, double latitude, double* easting, double* northing) const {
    const double u = longitude * kPerDegree, v = latitude * kPerDegree;
    if (!(std::fabs(u) < 1e6 && std::fabs(v) < 1e6)) return ForwardBySeries(longitude, latitude, easting, northing);
    // The point's cell, without a call of floor.
    long cell_i = static_cast<long>(u), cell_j = static_cast<long>(v);
    cell_i -= u < static_cast<double>(cell_i);
    cell_j -= v < static_cast<double>(cell_j);
    const long i = cell_i - first_i_, j = cell_j - first_j_;
    if (i < 0 || j < 0 || i >= columns_ || j >= rows_) return ForwardBySeries(longitude, latitude, easting, northing);
    // The cell's polynomial at (s, t), by Horner's rule along s and then t, easting and
    // northing side by side in the two lanes of a vector.
    const Cell& cell = cells_[static_cast<size_t>(j * columns_ + i)];
    const double s = u - static_cast<double>(cell_i), t = v - static_cast<double>(cell_j);
    const Pair ss = {s, s}, tt = {t, t};
    Pair by_t[4];
    for (int l = 0; l < 4; ++l) {
      by_t[l] = ((cell.c[l][3] * ss + cell.c[l][2]) * ss + cell.c[l][1]) * ss + cell.c[l][0];
    }
    const Pair sum = ((by_t[3] * tt + by_t[2]) * tt + by_t[1]) * tt + by_t[0];
    *easting = sum[0] + projection_.false_easting();
    *northing = sum[1] + projection_.false_northing();
  }

  const TransverseMercator& projection() const { return projection_; }

 private:
  static constexpr double kPerDegree = 10.0;  // nodes
  static constexpr size_t kLargest = size_t{1} << 17;  // cells: 32 MB, 1,300 square degrees

  using Pair = double __attribute__((vector_size(16)));
  struct Node {
    double x, y;
  };
  // The bicubic of a cell, through the 4 x 4 nodes around it, as the coefficients of
  // s^k t^l (s and t the position within the cell, from 0 to 1): c[l][k].
  struct Cell {
    Pair c[4][4];
  };

  void ForwardBySeries(double longitude, double latitude, double* easting, double* northing) const;
  static Cell CellOf(const std::vector<Node>& nodes, long node_columns, long i, long j);

  const TransverseMercator& projection_;
  // Cell (i, j) lies from longitude (first_i_ + i) / kPerDegree, latitude (first_j_ + j) / kPerDegree.
  long first_i_ = 0, first_j_ = 0;
  long columns_ = 0, rows_ = 0;
  std::vector<Cell> cells_;  // by rows of equal latitude; empty when the area is too large
};
