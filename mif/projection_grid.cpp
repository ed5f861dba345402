#include "mif/projection_grid.h"

#include <algorithm>
#include <cmath>

namespace {

// The weights of the cubic through the values at -1, 0, 1 and 2, at t in [0, 1).
void CubicWeights(double t, double (&w)[4]) {
  const double a = t + 1, b = t - 1, c = t - 2;
  const double tb = t * b, ac = a * c;
  w[0] = tb * c * (-1.0 / 6);
  w[1] = ac * b * 0.5;
  w[2] = ac * t * -0.5;
  w[3] = tb * a * (1.0 / 6);
}

}  // namespace

ProjectionGrid::ProjectionGrid(const TransverseMercator& projection, double min_lon, double max_lon, double min_lat,
                               double max_lat)
    : projection_(projection) {
  const double meridian = projection.central_meridian();
  min_lon = std::max(min_lon, meridian - 8.0);
  max_lon = std::min(max_lon, meridian + 8.0);
  min_lat = std::max(min_lat, -84.0);
  max_lat = std::min(max_lat, 84.0);
  if (!(min_lon <= max_lon && min_lat <= max_lat)) return;
  // Every cell of the area with the nodes around it that its cubics use.
  first_i_ = static_cast<long>(std::floor(min_lon * kPerDegree)) - 1;
  first_j_ = static_cast<long>(std::floor(min_lat * kPerDegree)) - 1;
  columns_ = static_cast<long>(std::floor(max_lon * kPerDegree)) + 3 - first_i_;
  rows_ = static_cast<long>(std::floor(max_lat * kPerDegree)) + 3 - first_j_;
  if (static_cast<double>(columns_) * static_cast<double>(rows_) > kLargest) {
    columns_ = rows_ = 0;
    return;
  }
  nodes_.resize(static_cast<size_t>(columns_ * rows_));
  for (long j = 0; j < rows_; ++j) {
    for (long i = 0; i < columns_; ++i) {
      Node& node = nodes_[static_cast<size_t>(j * columns_ + i)];
      projection.ForwardUnshifted(static_cast<double>(first_i_ + i) / kPerDegree,
                                  static_cast<double>(first_j_ + j) / kPerDegree, &node.x, &node.y);
    }
  }
}

void ProjectionGrid::Forward(double longitude, double latitude, double* easting, double* northing) const {
  const double u = longitude * kPerDegree, v = latitude * kPerDegree;
  if (!(std::fabs(u) < 1e6 && std::fabs(v) < 1e6)) {
    projection_.Forward(longitude, latitude, easting, northing);
    return;
  }
  // The point's cell, without a call of floor.
  long cell_i = static_cast<long>(u), cell_j = static_cast<long>(v);
  cell_i -= u < static_cast<double>(cell_i);
  cell_j -= v < static_cast<double>(cell_j);
  const double cell_u = static_cast<double>(cell_i), cell_v = static_cast<double>(cell_j);
  // The first of the 4 x 4 nodes around it.
  const long i = cell_i - 1 - first_i_, j = cell_j - 1 - first_j_;
  if (i < 0 || j < 0 || i + 4 > columns_ || j + 4 > rows_) {
    projection_.Forward(longitude, latitude, easting, northing);
    return;
  }
  double wu[4], wv[4];
  CubicWeights(u - cell_u, wu);
  CubicWeights(v - cell_v, wv);
  double x = 0, y = 0;
  for (int b = 0; b < 4; ++b) {
    const Node* row = &nodes_[static_cast<size_t>((j + b) * columns_ + i)];
    const double row_x = wu[0] * row[0].x + wu[1] * row[1].x + wu[2] * row[2].x + wu[3] * row[3].x;
    const double row_y = wu[0] * row[0].y + wu[1] * row[1].y + wu[2] * row[2].y + wu[3] * row[3].y;
    x += wv[b] * row_x;
    y += wv[b] * row_y;
  }
  *easting = x + projection_.false_easting();
  *northing = y + projection_.false_northing();
}
