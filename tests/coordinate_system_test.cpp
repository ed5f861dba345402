#include "mif/coordinate_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "mif/decimal_text.h"
#include "mif/projection_grid.h"
#include "mif/transverse_mercator.h"

TEST(TransverseMercator, AgreesWithProjWithinAMillimetre) {
  // From PROJ, for CGCS2000 Gauss-Krüger zones with and without the zone before the easting:
  //   echo "LON LAT" | gdaltransform -s_srs EPSG:4490 -t_srs EPSG:CODE -output_xy
  // CODE: 3-degree zones 4513 + zone - 25 (4534 + zone - 25 without the zone number),
  // 6-degree zones 4491 + zone - 13 (4502 + zone - 13). At the central meridian, at the edge of
  // the zone (1.5 and 3 degrees), 3 and 4 degrees off it, north and south.
  struct Case {
    int degrees, zone;
    bool prefix;
    double longitude, latitude, easting, northing;
  } cases[] = {
      {3, 25, true, 75, 3.5, 25500000, 387014.795698822},
      {3, 25, true, 75, 53.5, 25500000, 5930265.86026277},
      {3, 25, true, 75, -30.0, 25500000, -3320113.39784502},
      {3, 25, true, 76.5, 3.5, 25666688.8930828, 387148.023843567},
      {3, 25, true, 76.5, 39.9, 25628280.0678773, 4419502.90878363},
      {3, 25, true, 76.5, -30.0, 25644737.7490912, -3321060.84092654},
      {3, 25, true, 72, 39.9, 25243424.1273331, 4422736.53078863},
      {3, 25, true, 72, 53.5, 25300949.3958604, 5934456.50546308},
      {3, 25, true, 79, 3.5, 25944814.1729603, 387963.865154228},
      {3, 25, true, 79, 39.9, 25842122.8595369, 4426092.90414395},
      {3, 25, true, 79, -30.0, 25886103.0239732, -3326859.09071403},
      {3, 39, true, 117, 39.9, 39500000, 4418425.6630447},
      {3, 39, true, 118.5, 53.5, 39599535.2645989, 5931313.31878613},
      {3, 39, true, 121, 53.5, 39765373.1935533, 5937717.39056476},
      {3, 45, true, 136.5, 39.9, 45628280.0678773, 4419502.90878363},
      {3, 45, true, 132, -30.0, 45210474.536577, -3323905.46647605},
      {3, 45, true, 139, 3.5, 45944814.1729603, 387963.865154228},
      {6, 13, true, 72, 3.5, 13166507.9697176, 387548.168831793},
      {6, 13, true, 78, 39.9, 13756575.8726669, 4422736.53078863},
      {6, 13, true, 79, -30.0, 13886103.0239732, -3326859.09071403},
      {6, 20, true, 114, 53.5, 20300949.3958604, 5934456.50546308},
      {6, 20, true, 120, -30.0, 20789525.463423, -3323905.46647605},
      {6, 20, true, 121, 39.9, 20842122.8595369, 4426092.90414395},
      {6, 23, true, 132, 3.5, 23166507.9697176, 387548.168831793},
      {6, 23, true, 138, 53.5, 23699050.6041396, 5934456.50546308},
      {6, 23, true, 139, 39.9, 23842122.8595369, 4426092.90414395},
      {3, 39, false, 116.39, 39.9, 447833.66424783, 4418603.79387709},
      {6, 20, false, 116.39, 39.9, 447833.66424783, 4418603.79387709},
      {3, 33, false, 100.25, -12.75, 635750.180643841, -1410380.29703383},
  };
  for (const Case& c : cases) {
    CoordinateSystem crs;
    crs.kind = c.degrees == 3 ? CoordinateSystem::Kind::kGaussKruger3 : CoordinateSystem::Kind::kGaussKruger6;
    crs.zone_prefix = c.prefix;
    TransverseMercator projection(TransverseMercator::kCgcs2000Axis, TransverseMercator::kCgcs2000InverseFlattening,
                                  CentralMeridianOf(crs.kind, c.zone), 1.0, FalseEastingOf(crs, c.zone), 0.0);
    double x, y;
    projection.Forward(c.longitude, c.latitude, &x, &y);
    EXPECT_NEAR(x, c.easting, 0.001) << c.degrees << " " << c.zone << " " << c.longitude << " " << c.latitude;
    EXPECT_NEAR(y, c.northing, 0.001) << c.degrees << " " << c.zone << " " << c.longitude << " " << c.latitude;
  }
}

TEST(CoordinateSystem, NamesZonesAndHeaderLines) {
  CoordinateSystem crs;
  std::string error;
  ASSERT_TRUE(ParseCoordinateSystem("gk3:39", &crs, &error));
  EXPECT_EQ(crs.zone, 39);
  EXPECT_EQ(CoordSysLine(crs, 39, 39445715, 4418419, 39451268.5, 4422758),
            "CoordSys Earth Projection 8, 104, \"m\", 117, 0, 1, 39500000, 0 "
            "Bounds (39445715.000, 4418419.000) (39451268.500, 4422758.000)");
  crs.zone_prefix = false;
  ASSERT_TRUE(ParseCoordinateSystem("gk6", &crs, &error));
  EXPECT_EQ(crs.zone, 0);
  crs.zone_prefix = false;
  EXPECT_EQ(CoordSysLine(crs, 13, 0, 0, 1, 1).substr(0, 58), "CoordSys Earth Projection 8, 104, \"m\", 75, 0, 1, 500000, 0");
  ASSERT_TRUE(ParseCoordinateSystem("cgcs2000", &crs, &error));
  EXPECT_EQ(CoordSysLine(crs), "CoordSys Earth Projection 1, 104");
  EXPECT_EQ(CoordSysLine(CoordinateSystem()), "CoordSys Earth Projection 1, 0");
  EXPECT_EQ(ZoneOf(CoordinateSystem::Kind::kGaussKruger3, 116.39), 39);
  EXPECT_EQ(ZoneOf(CoordinateSystem::Kind::kGaussKruger3, 118.4999), 39);
  EXPECT_EQ(ZoneOf(CoordinateSystem::Kind::kGaussKruger3, 118.5), 40);
  EXPECT_EQ(ZoneOf(CoordinateSystem::Kind::kGaussKruger6, 116.39), 20);
  EXPECT_EQ(ZoneOf(CoordinateSystem::Kind::kGaussKruger6, 114.0), 20);
  for (const char* wrong : {"gk3:24", "gk3:46", "gk6:12", "gk6:24", "gk3:", "gk3:3x", "utm", "GK3"}) {
    EXPECT_FALSE(ParseCoordinateSystem(wrong, &crs, &error)) << wrong;
  }
}

TEST(ProjectionGrid, StaysWithinMicrometresOfTheSeries) {
  // Zone 39 over China's latitudes and 8 degrees either side of its meridian, and points
  // outside the grid, which the series projects.
  TransverseMercator series(TransverseMercator::kCgcs2000Axis, TransverseMercator::kCgcs2000InverseFlattening, 117,
                            1.0, 39500000, 0.0);
  ProjectionGrid grid(series, 109, 125, -5, 56);
  double worst = 0;
  for (double lon = 108.0; lon <= 126.0; lon += 0.0173) {
    for (double lat = -6.0; lat <= 57.0; lat += 0.0619) {
      double x, y, exact_x, exact_y;
      grid.Forward(lon, lat, &x, &y);
      series.Forward(lon, lat, &exact_x, &exact_y);
      worst = std::max({worst, std::fabs(x - exact_x), std::fabs(y - exact_y)});
    }
  }
  EXPECT_LT(worst, 3e-6);
}

TEST(DecimalText, ReadsAndWritesCoordinatesAsTheStandardLibraryDoes) {
  // Fields with 8 readable bytes after them, as a document has.
  for (const char* field : {"116.39747712345678", "-0.5", "39.9", "+7.25", "0.000001", "180.", "-179.9999999999999999",
                            "1e-3", "116", ".5", "1234.5", "12.5e1", "0x10"}) {
    std::string text = std::string(field) + ",        ";
    const char* end = text.data() + std::strlen(field);
    double value = 0, expected = 0;
    const char* begin = text.data() + (text[0] == '+');
    const bool parsed = decimal_text::ParseNumber(text.data(), end, text.data() + text.size(), &value);
    const auto [stop, error] = std::from_chars(begin, end, expected);
    EXPECT_EQ(parsed, error == std::errc() && stop == end) << field;
    if (parsed) {
      EXPECT_NEAR(value, expected, 1e-13 * std::fabs(expected)) << field;
    }
  }
  for (const char* text : {"", "-", "1.2.3", "abc", "nan", "inf", "1,5", "116.3a"}) {
    double value;
    std::string padded = std::string(text) + "        ";
    EXPECT_FALSE(decimal_text::ParseNumber(padded.data(), padded.data() + std::strlen(text),
                                           padded.data() + padded.size(), &value))
        << text;
  }
  // Rounded half away from zero, with no "-0.000".
  for (auto [value, text] : {std::pair{39447833.6644, "39447833.664"}, {-3320113.39784502, "-3320113.398"},
                             {0.0005, "0.001"}, {-0.0004, "0.000"}, {99999999.9996, "100000000.000"},
                             {123456789012.5, "123456789012.500"}, {7.0, "7.000"}}) {
    char buffer[64];
    EXPECT_EQ(std::string(buffer, decimal_text::PutThousandths(buffer, value)), text) << value;
  }
}
