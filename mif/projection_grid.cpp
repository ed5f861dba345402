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

void ProjectionGrid::ForwardBySeries(double longitude, double latitude, double* easting, double* northing) const {
  projection_.Forward(longitude, latitude, easting, northing);
}
