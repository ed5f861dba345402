#include "mif/projection_grid.h"

#include <algorithm>
#include <cmath>

ProjectionGrid::ProjectionGrid(const TransverseMercator& projection, double min_lon, double max_lon, double min_lat,
                               double max_lat)
    : projection_(projection) {
  const double meridian = projection.central_meridian();
  min_lon = std::max(min_lon, meridian - 8.0);
  max_lon = std::min(max_lon, meridian + 8.0);
  min_lat = std::max(min_lat, -84.0);
  max_lat = std::min(max_lat, 84.0);
  if (!(min_lon <= max_lon && min_lat <= max_lat)) return;
  // Every cell of the area, and the nodes around them that their cubics go through.
  first_i_ = static_cast<long>(std::floor(min_lon * kPerDegree));
  first_j_ = static_cast<long>(std::floor(min_lat * kPerDegree));
  columns_ = static_cast<long>(std::floor(max_lon * kPerDegree)) + 1 - first_i_;
  rows_ = static_cast<long>(std::floor(max_lat * kPerDegree)) + 1 - first_j_;
  if (static_cast<double>(columns_) * static_cast<double>(rows_) > kLargest) {
    columns_ = rows_ = 0;
    return;
  }
  const long node_columns = columns_ + 3, node_rows = rows_ + 3;
  std::vector<Node> nodes(static_cast<size_t>(node_columns * node_rows));
  for (long j = 0; j < node_rows; ++j) {
    for (long i = 0; i < node_columns; ++i) {
      Node& node = nodes[static_cast<size_t>(j * node_columns + i)];
      projection.ForwardUnshifted(static_cast<double>(first_i_ - 1 + i) / kPerDegree,
                                  static_cast<double>(first_j_ - 1 + j) / kPerDegree, &node.x, &node.y);
    }
  }
  cells_.reserve(static_cast<size_t>(columns_ * rows_));
  for (long j = 0; j < rows_; ++j) {
    for (long i = 0; i < columns_; ++i) cells_.push_back(CellOf(nodes, node_columns, i, j));
  }
}

ProjectionGrid::Cell ProjectionGrid::CellOf(const std::vector<Node>& nodes, long node_columns, long i, long j) {
  // The coefficient of t^k in the weight of each of the cubic's nodes, at -1, 0, 1 and 2.
  static constexpr double kWeight[4][4] = {
      {0, -1.0 / 3, 0.5, -1.0 / 6}, {1, -0.5, -1, 0.5}, {0, 1, 0.5, -0.5}, {0, -1.0 / 6, 0, 1.0 / 6}};
  // The cubics along the four rows of nodes around cell (i, j), then those through their
  // coefficients.
  Pair along[4][4] = {};
  for (int b = 0; b < 4; ++b) {
    for (int a = 0; a < 4; ++a) {
      const Node& n = nodes[static_cast<size_t>((j + b) * node_columns + i + a)];
      for (int k = 0; k < 4; ++k) along[b][k] += kWeight[a][k] * Pair{n.x, n.y};
    }
  }
  Cell cell;
  for (int l = 0; l < 4; ++l) {
    for (int k = 0; k < 4; ++k) {
      Pair sum = {0, 0};
      for (int b = 0; b < 4; ++b) sum += kWeight[b][l] * along[b][k];
      cell.c[l][k] = sum;
    }
  }
  return cell;
}

void ProjectionGrid::ForwardBySeries(double longitude, double latitude, double* easting, double* northing) const {
  projection_.Forward(longitude, latitude, easting, northing);
}
