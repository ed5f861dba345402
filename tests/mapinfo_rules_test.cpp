// What MapInfo's documented rules ask of every file written, on every path: the version by
// the size of the objects, coordinates that are numbers, typed values that are the number
// written, names of MapInfo's own, bounds that hold the data; and inputs that would take time
// or memory out of proportion to their size.
#include <gtest/gtest.h>

#include <string>

#include "features/feature_export.h"
#include "mif/mif_export.h"

namespace {

ConvertedText Convert(const std::string& kml, ConversionOptions options = {}) {
  std::string decoded;
  return ConvertInMemory(SourceOf(kml, Encoding::kAnsi, &decoded), options);
}

std::string Designed(const std::string& kml) {
  GeometryState state;
  return BuildMifText(state, MakeDocument(kml));
}

std::string Version(const std::string& mif) { return mif.substr(10, 3); }
std::string Records(const std::string& mif) { return mif.substr(mif.find("Data\r\n") + 6); }

// A LineString of `n` vertices.
std::string Line(size_t n) {
  std::string coordinates;
  for (size_t i = 0; i < n; ++i) coordinates += i % 2 ? "1,2 " : "3,4 ";
  return "<LineString><coordinates>" + coordinates + "</coordinates></LineString>";
}

ConversionOptions With(bool ConversionOptions::*option) {
  ConversionOptions options;
  options.*option = true;
  return options;
}

}  // namespace

TEST(MapInfoRules, TheVersionIsTheLeastThatHoldsEveryObject) {
  struct Case {
    std::string kml;
    const char* version;
  } cases[] = {
      {Line(32767), "300"},    {Line(32768), "450"},      {Line(1048572), "450"},
      {Line(1048573), "800"},  {"<kml/>", "300"},
  };
  for (const Case& c : cases) {
    const ConvertedText plain = Convert(c.kml);
    EXPECT_EQ(Version(plain.mif), c.version) << c.kml.size();
    EXPECT_TRUE(Designed(c.kml) == plain.mif) << c.kml.size();
    EXPECT_TRUE(Convert(c.kml, With(&ConversionOptions::styles)).mif == plain.mif) << c.kml.size();
    EXPECT_EQ(plain.report.records.version.large_objects, *c.version == '3' ? 0u : 1u);
  }
  // Sections: one Pline Multiple of 32,767 lines of two vertices holds 65,534 nodes (450); one
  // more line is more than version 450 holds.
  for (size_t lines : {32767, 32768}) {
    std::string kml = "<Placemark><MultiGeometry>";
    for (size_t i = 0; i < lines; ++i) kml += Line(2);
    kml += "</MultiGeometry></Placemark>";
    const ConvertedText multi = Convert(kml, With(&ConversionOptions::multi));
    EXPECT_EQ(Version(multi.mif), lines == 32767 ? "450" : "800");
    EXPECT_EQ(multi.report.records.version.largest_sections, lines);
  }
  // A Multipoint needs 650, and so does a Collection; a point and a line in sections none.
  const std::string mixed = "<Placemark><MultiGeometry><Point><coordinates>1,2</coordinates></Point>" + Line(2) +
                            "</MultiGeometry></Placemark>";
  EXPECT_EQ(Version(Convert(mixed, With(&ConversionOptions::multi)).mif), "650");
  EXPECT_EQ(Version(Convert(mixed, With(&ConversionOptions::attributes)).mif), "300");
}

TEST(MapInfoRules, VerticesWhoseCoordinatesAreNoNumbersAreLeftOut) {
  for (const char* field : {"no", "abc", "1e400", "-1e400", "nan", "inf", "0x74", "1.2.3", "--116", "+-1", "1e", ".",
                            "-", "\xD6\xD0"}) {
    const std::string kml = "<Point><coordinates>" + std::string(field) + ",2</coordinates></Point>" +
                            "<LineString><coordinates>1,1 " + field + ",2 3,3</coordinates></LineString>";
    const ConvertedText plain = Convert(kml);
    EXPECT_EQ(Records(plain.mif), "\r\n\r\nPline 2\r\n1 1\r\n3 3\r\n    Pen (3,2,2105599)\r\n") << field;
    EXPECT_EQ(Designed(kml), plain.mif) << field;
    EXPECT_EQ(plain.report.records.left_out.no_number, 2u) << field;
  }
  for (const char* field : {"-116.5", "+39", "3.", ".5", "1e5", "1E-400", "007"}) {
    const std::string kml = "<Point><coordinates>" + std::string(field) + ",2</coordinates></Point>";
    EXPECT_EQ(Records(Convert(kml).mif), "Point " + std::string(field) + " 2\r\n    Symbol (35,0,12)\r\n\r\n\r\n") << field;
  }
  // A record left with too few vertices is left out; with rows, its placemark keeps its row as
  // an object of none, whatever the options; the first such tuple is quoted as written.
  const std::string kml =
      "<Placemark><name>a</name><Point><coordinates>x,1</coordinates></Point></Placemark>"
      "<Placemark><name>b</name><LineString><coordinates>1,1 2,y</coordinates></LineString></Placemark>"
      "<Placemark><name>c</name><LinearRing><coordinates>1,1 2,2 1,1</coordinates></LinearRing></Placemark>"
      "<Placemark><name>d</name><LinearRing><coordinates>1,1 2,2</coordinates></LinearRing></Placemark>"
      "<Placemark><name>e</name><gx:Track><gx:coord>1 1 0</gx:coord><gx:coord>q 2 0</gx:coord></gx:Track></Placemark>";
  const ConvertedText plain = Convert(kml);
  EXPECT_EQ(Records(plain.mif), "\r\n\r\n\r\nRegion  1 \r\n  3\r\n1 1\r\n2 2\r\n1 1\r\n"
                                "    Pen (3,2,2105599)\r\n    Brush (2,16728128,16777215)");
  EXPECT_EQ(plain.report.records.left_out.records, 3u);  // the point, the line, the ring of two
  EXPECT_EQ(plain.report.records.left_out.first, "x,1");
  ConversionOptions rows = ConversionOptions::All();
  rows.empty_rows = false;
  const ConvertedText all = Convert(kml, rows);
  EXPECT_EQ(Records(all.mif), "\r\nNone\r\nNone\r\nRegion  1 \r\n  3\r\n1 1\r\n2 2\r\n1 1\r\n"
                              "    Pen (3,2,2105599)\r\n    Brush (2,16728128,16777215)\r\nNone\r\nNone\r\n");
  EXPECT_EQ(all.mid.substr(0, 3), "\"a\"");
  EXPECT_EQ(std::count(all.mid.begin(), all.mid.end(), '\n'), 5);
  EXPECT_EQ(all.report.records.left_out.records, 4u);  // and the track of one vertex
  ConversionOptions sections = With(&ConversionOptions::attributes);
  EXPECT_EQ(Records(Convert(kml, sections).mif), "None\r\n\r\n\r\nNone\r\n\r\nRegion  1 \r\n  3\r\n1 1\r\n2 2\r\n1 1\r\n"
                                                 "    Pen (3,2,2105599)\r\n    Brush (2,16728128,16777215)\r\nNone");
  // Projected, the same vertices are left out.
  ConversionOptions projected;
  std::string error;
  ASSERT_TRUE(ParseCoordinateSystem("gk3:39", &projected.crs, &error));
  EXPECT_EQ(Convert(kml, projected).report.records.left_out.no_number, 2u);
}

TEST(MapInfoRules, TypedValuesAreTheNumberWrittenOrNone) {
  const std::string kml =
      "<Schema><SimpleField name=\"f\" type=\"double\"/><SimpleField name=\"u\" type=\"uint\"/>"
      "<SimpleField name=\"s\" type=\"ushort\"/><SimpleField name=\"i\" type=\"int\"/></Schema>"
      "<Placemark><ExtendedData><SchemaData><SimpleData name=\"f\">1e400</SimpleData><SimpleData name=\"u\">-5"
      "</SimpleData><SimpleData name=\"s\">-1</SimpleData><SimpleData name=\"i\">" + std::string(5000, '1') +
      "</SimpleData></SchemaData></ExtendedData><Point><coordinates>1,2</coordinates></Point></Placemark>"
      "<Placemark><ExtendedData><SchemaData><SimpleData name=\"f\">-1.5e3</SimpleData><SimpleData name=\"u\">7"
      "</SimpleData><SimpleData name=\"s\">3</SimpleData><SimpleData name=\"i\">-12</SimpleData></SchemaData>"
      "</ExtendedData><Point><coordinates>1,2</coordinates></Point></Placemark>";
  const ConvertedText out = Convert(kml, With(&ConversionOptions::typed));
  EXPECT_NE(out.mif.find("  f Float\r\n  u Float\r\n  s Integer\r\n  i Integer\r\n"), std::string::npos);
  EXPECT_EQ(out.mid, "\"\",\"\",\"\",,,,\r\n\"\",\"\",\"\",-1.5e3,7,3,-12\r\n");
  ASSERT_EQ(out.report.invalid_values.size(), 4u);
  EXPECT_EQ(out.report.cut_values, 0u);  // a number is none, not a text cut
}

TEST(MapInfoRules, NamesOfMapInfosOwnColumnsAreRenamed) {
  const std::string kml =
      "<Placemark><ExtendedData><Data name=\"Obj\"><value>1</value></Data><Data name=\"rowid\"><value>2</value></Data>"
      "<Data name=\"MI_STYLE\"><value>3</value></Data><Data name=\"mi_geometry\"><value>4</value></Data>"
      "<Data name=\"Object\"><value>5</value></Data><Data name=\"Objects\"><value>6</value></Data></ExtendedData>"
      "<Point><coordinates>1,2</coordinates></Point></Placemark>";
  const ConvertedText out = Convert(kml, With(&ConversionOptions::attributes));
  EXPECT_NE(out.mif.find("  Obj_2 Char(1)\r\n  rowid_2 Char(1)\r\n  MI_STYLE_2 Char(1)\r\n  mi_geometry_2 Char(1)\r\n"
                         "  Object_2 Char(1)\r\n  Objects Char(1)\r\n"),
            std::string::npos);
  EXPECT_EQ(out.report.renamed_columns.size(), 5u);
}

TEST(MapInfoRules, BoundsHoldTheProjectedVerticesAndTheZoneHasMostOfThem) {
  ConversionOptions options;
  std::string error;
  // A point at 0,0 (a "null island" from a GPS) is a quarter of the earth and more from zone
  // 39's central meridian: left out, and the bounds are those of the data around it.
  ASSERT_TRUE(ParseCoordinateSystem("gk3:39", &options.crs, &error));
  const std::string beijing = "<Point><coordinates>116.39,39.9</coordinates></Point>";
  ConvertedText out = Convert(beijing + "<Point><coordinates>0,0</coordinates></Point>", options);
  EXPECT_NE(out.mif.find("Bounds (39446833.000, 4417603.000) (39448834.000, 4419604.000)\r\n"), std::string::npos)
      << out.mif;
  EXPECT_EQ(out.report.records.left_out.beyond, 1u);
  EXPECT_EQ(out.report.records.left_out.records, 1u);
  // Without a zone, the zone of most vertices: one far point does not move the file.
  ASSERT_TRUE(ParseCoordinateSystem("gk3", &options.crs, &error));
  out = Convert("<Point><coordinates>125,40</coordinates></Point>" + beijing + beijing + beijing, options);
  EXPECT_EQ(out.report.zone, 39);
  EXPECT_NE(out.mif.find("117, 0, 1, 39500000, 0 Bounds (39446833.000, 4417603.000) (40184536.000, 4461313.000)"),
            std::string::npos)
      << out.mif;
  // Data in no zone of the kind are not written in one of their own.
  out = Convert("<Point><coordinates>2.35,48.85</coordinates></Point>", options);
  EXPECT_TRUE(out.report.zone_refused);
  EXPECT_EQ(out.report.zone, 1);
  EXPECT_EQ(out.mif, "");
}

TEST(BoundedWork, HostileInputsTakeTimeInProportionToTheirSize) {
  // Each of these took from minutes to hours at these sizes, and ran past the tests' time
  // limit, when some step went over the text again for each element or character.
  const std::string point = "<Point><coordinates>1,2</coordinates></Point>";
  std::string unclosed = "<Placemark><name>p</name>";
  for (int i = 0; i < 1000000; ++i) unclosed += "<a>";
  for (int i = 0; i < 1000000; ++i) unclosed += "</b>";
  std::string folders;
  for (int i = 0; i < 100000; ++i) folders += "<Folder><name>f</name>";
  const std::string placemark = "<Placemark><name>p</name>" + point + "</Placemark>";
  std::string nested;  // each placemark opened inside the one before, none closed
  for (int i = 0; i < 100000; ++i) nested += "<Placemark><name>p</name>" + point;
  const std::string cases[] = {
      nested,
      unclosed + point + "</Placemark>",
      "<Placemark><name>" + std::string(8 << 20, '&') + "</name>" + point + "</Placemark>",
      "<Placemark><description><![CDATA[" + std::string(8 << 20, '<') + "]]></description>" + point + "</Placemark>",
      folders + placemark + placemark,
  };
  for (const std::string& kml : cases) {
    const ConvertedText out = Convert(kml, ConversionOptions::All());
    EXPECT_NE(out.mif.find("Point 1 2"), std::string::npos);
    EXPECT_FALSE(out.mid.empty());
  }
  const ConvertedText deep = Convert(folders + placemark, With(&ConversionOptions::attributes));
  std::string path = "f";
  while (path.size() < 254) path += "/f";
  EXPECT_EQ(deep.mid, "\"p\",\"\",\"" + path.substr(0, 254) + "\"\r\n");
  EXPECT_EQ(deep.report.cut_values, 1u);
}
