#pragma once

// The Transverse Mercator projection of an ellipsoid by Krüger's series to the sixth order in
// the third flattening n (Karney 2011, "Transverse Mercator with an accuracy of a few
// nanometres", equations 7-11 and 35), as PROJ's tmerc computes it: a few nanometres within
// 4000 km of the central meridian.
class TransverseMercator {
 public:
  // The CGCS2000 ellipsoid (GRS 80): a = 6378137 m, 1/f = 298.257222101.
  static constexpr double kCgcs2000Axis = 6378137.0;
  static constexpr double kCgcs2000InverseFlattening = 298.257222101;

  TransverseMercator(double axis, double inverse_flattening, double central_meridian, double scale,
                     double false_easting, double false_northing);

  // Longitude and latitude in degrees to easting and northing in metres.
  void Forward(double longitude, double latitude, double* easting, double* northing) const;
  // The same without the false easting and northing: smaller numbers, for differences.
  void ForwardUnshifted(double longitude, double latitude, double* easting, double* northing) const;

  double central_meridian() const { return central_meridian_; }
  double false_easting() const { return false_easting_; }
  double false_northing() const { return false_northing_; }

 private:
  double central_meridian_;
  double scale_, false_easting_, false_northing_;
  double e_;             // eccentricity
  double rectifying_;    // A: the radius of the rectifying sphere
  double alpha_[7];      // alpha_[1..6]
};
