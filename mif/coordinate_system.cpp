#include "mif/coordinate_system.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

std::string Fixed(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.3f", value);
  return buffer;
}

}  // namespace

ZoneRange ChineseZonesOf(CoordinateSystem::Kind kind) {
  return kind == CoordinateSystem::Kind::kGaussKruger3 ? ZoneRange{25, 45} : ZoneRange{13, 23};
}

bool ParseCoordinateSystem(std::string_view name, CoordinateSystem* crs, std::string* error) {
  *crs = CoordinateSystem();
  if (name == "wgs84") {
    crs->kind = CoordinateSystem::Kind::kWgs84;
    return true;
  }
  if (name == "cgcs2000") {
    crs->kind = CoordinateSystem::Kind::kCgcs2000;
    return true;
  }
  std::string_view kind = name.substr(0, name.find(':'));
  if (kind == "gk3" || kind == "gk6") {
    crs->kind = kind == "gk3" ? CoordinateSystem::Kind::kGaussKruger3 : CoordinateSystem::Kind::kGaussKruger6;
    if (kind.size() == name.size()) return true;
    std::string_view zone = name.substr(kind.size() + 1);
    const ZoneRange range = ChineseZonesOf(crs->kind);
    auto [end, result] = std::from_chars(zone.data(), zone.data() + zone.size(), crs->zone);
    if (result == std::errc() && end == zone.data() + zone.size() && crs->zone >= range.first &&
        crs->zone <= range.last) {
      return true;
    }
    *error = "the zones of " + std::string(kind) + " are " + std::to_string(range.first) + " to " +
             std::to_string(range.last) + ", not '" + std::string(zone) + "'";
    return false;
  }
  *error = "unknown coordinate system '" + std::string(name) + "' (use wgs84, cgcs2000, gk3, gk3:ZONE, gk6 or gk6:ZONE)";
  return false;
}

int ZoneOf(CoordinateSystem::Kind kind, double longitude) {
  if (kind == CoordinateSystem::Kind::kGaussKruger3) return static_cast<int>(std::floor((longitude + 1.5) / 3.0));
  return static_cast<int>(std::floor(longitude / 6.0)) + 1;
}

bool IsChineseZone(CoordinateSystem::Kind kind, int zone) {
  const ZoneRange range = ChineseZonesOf(kind);
  return zone >= range.first && zone <= range.last;
}

double CentralMeridianOf(CoordinateSystem::Kind kind, int zone) {
  return kind == CoordinateSystem::Kind::kGaussKruger3 ? 3.0 * zone : 6.0 * zone - 3.0;
}

double FalseEastingOf(const CoordinateSystem& crs, int zone) {
  return crs.zone_prefix ? 500000.0 + zone * 1000000.0 : 500000.0;
}

double HalfWidthOf(CoordinateSystem::Kind kind) { return kind == CoordinateSystem::Kind::kGaussKruger3 ? 1.5 : 3.0; }

std::string CoordSysLine(const CoordinateSystem& crs, int zone, double min_x, double min_y, double max_x, double max_y) {
  switch (crs.kind) {
    case CoordinateSystem::Kind::kDefault: return "CoordSys Earth Projection 1, 0";
    // MapInfo's datum 104 is WGS 84; GDAL writes CGCS2000 with it too.
    case CoordinateSystem::Kind::kWgs84:
    case CoordinateSystem::Kind::kCgcs2000: return "CoordSys Earth Projection 1, 104";
    case CoordinateSystem::Kind::kGaussKruger3:
    case CoordinateSystem::Kind::kGaussKruger6: break;
  }
  char meridian[32];
  std::snprintf(meridian, sizeof meridian, "%g", CentralMeridianOf(crs.kind, zone));
  char easting[32];
  std::snprintf(easting, sizeof easting, "%.0f", FalseEastingOf(crs, zone));
  return "CoordSys Earth Projection 8, 104, \"m\", " + std::string(meridian) + ", 0, 1, " + easting + ", 0 Bounds (" +
         Fixed(min_x) + ", " + Fixed(min_y) + ") (" + Fixed(max_x) + ", " + Fixed(max_y) + ")";
}
