#pragma once

#include <string>
#include <string_view>

// The coordinate system of the MIF file. KML is WGS 84 longitude/latitude; the default header
// leaves the datum unnamed, as the MIF file always had it. wgs84 and cgcs2000 name the datum
// (the two agree to about a centimetre: coordinates are copied as text); gk3 and gk6 project the
// coordinates on the CGCS2000 ellipsoid in Gauss-Krüger zones of 3 or 6 degrees.
struct CoordinateSystem {
  enum class Kind { kDefault, kWgs84, kCgcs2000, kGaussKruger3, kGaussKruger6 };
  Kind kind = Kind::kDefault;
  int zone = 0;             // Gauss-Krüger: 0 for the zone of the data's longitudes
  bool zone_prefix = true;  // Gauss-Krüger: the zone number before the easting

  bool Projected() const { return kind == Kind::kGaussKruger3 || kind == Kind::kGaussKruger6; }
  bool operator==(const CoordinateSystem&) const = default;
};

// "wgs84", "cgcs2000", "gk3", "gk3:39" (3-degree zones 25 to 45), "gk6", "gk6:20" (6-degree
// zones 13 to 23). False, with the reason in `error`, for anything else.
bool ParseCoordinateSystem(std::string_view name, CoordinateSystem* crs, std::string* error);

// The zone of a longitude: 3 degrees, floor((lon + 1.5) / 3); 6 degrees, floor(lon / 6) + 1.
int ZoneOf(CoordinateSystem::Kind kind, double longitude);
// The zones over China that CGCS2000 defines: 25 to 45 of 3 degrees, 13 to 23 of 6.
struct ZoneRange {
  int first, last;
};
ZoneRange ChineseZonesOf(CoordinateSystem::Kind kind);
bool IsChineseZone(CoordinateSystem::Kind kind, int zone);
// A zone's central meridian (3 x zone, or 6 x zone - 3) and false easting (500000 m, after the
// zone number when it leads: 39 gives 39500000).
double CentralMeridianOf(CoordinateSystem::Kind kind, int zone);
double FalseEastingOf(const CoordinateSystem& crs, int zone);
// How far from the central meridian a zone reaches: 1.5 or 3 degrees.
double HalfWidthOf(CoordinateSystem::Kind kind);

// The header line "CoordSys ..." of the MIF file, without its line end. For Gauss-Krüger, the
// zone is `zone` and the Bounds clause holds [min_x, max_x] x [min_y, max_y].
std::string CoordSysLine(const CoordinateSystem& crs, int zone = 0, double min_x = 0, double min_y = 0,
                         double max_x = 0, double max_y = 0);
