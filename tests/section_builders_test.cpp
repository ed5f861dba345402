#include "mif/section_builders.h"

#include <gtest/gtest.h>

#include <random>

#include "mif/coordinates.h"
#include "mif/mif_export.h"

namespace {

const std::string kHeader =
    "Version   300\r\nCharset \"WindowsSimpChinese\"\r\nDelimiter \",\"\r\n"
    "CoordSys Earth Projection 1, 0\r\nColumns 1\r\n  GOOD Char(10)\r\nData\r\n";

std::string Mif(const std::string& kml) {
  GeometryState state;
  return BuildMifText(state, MakeDocument(kml));
}

std::string Points(const std::string& kml) {
  GeometryState state;
  return BuildPointSection(state, MakeDocument(kml));
}

std::string Plines(const std::string& kml) {
  GeometryState state;
  return BuildPlineSection(state, MakeDocument(kml));
}

std::string Regions(const std::string& kml) {
  GeometryState state;
  return BuildRegionSection(state, MakeDocument(kml));
}

std::string Line(const std::string& coordinates) {
  return "<LineString><coordinates>" + coordinates + "</coordinates></LineString>";
}

std::string Ring(const std::string& coordinates) {
  return "<LinearRing><coordinates>" + coordinates + "</coordinates></LinearRing>";
}

const std::string kPen = "    Pen (3,2,2105599)";
const std::string kRegionTail = "    Pen (3,2,2105599)\r\n    Brush (2,16728128,16777215)";

}  // namespace

TEST(MifExport, HeaderIsTheFixed126Bytes) {
  EXPECT_EQ(MifHeader, kHeader);
  EXPECT_EQ(MifHeader.size(), 126u);
}

TEST(MifExport, DocumentWithoutGeometryGives130Bytes) {
  for (const char* kml : {"", "<kml><Document><name>x</name></Document></kml>"}) {
    std::string mif = Mif(kml);
    EXPECT_EQ(mif, kHeader + "\r\n\r\n");
    EXPECT_EQ(mif.size(), 130u);
  }
}

TEST(MifExport, SinglePointGives170Bytes) {
  std::string mif = Mif("<Placemark><Point><coordinates>116.1,39.9,0</coordinates></Point></Placemark>");
  EXPECT_EQ(mif, kHeader + "Point 116.1 39.9\r\n    Symbol (35,0,12)\r\n\r\n\r\n");
  EXPECT_EQ(mif.size(), 170u);
}

TEST(MifExport, SectionsComeInOrderPointsLinesRegions) {
  std::string kml = Ring("1,1 2,2 3,3") + Line("4,4 5,5") + "<Point><coordinates>6,6</coordinates></Point>";
  EXPECT_EQ(Mif(kml), kHeader +
                          "Point 6 6\r\n    Symbol (35,0,12)\r\n"
                          "\r\n"
                          "\r\nPline 2\r\n4 4\r\n5 5\r\n" + kPen +
                          "\r\n"
                          "\r\nRegion  1 \r\n  3\r\n1 1\r\n2 2\r\n3 3\r\n" + kRegionTail);
}

TEST(MifExport, ExportsAgainWithoutRepeatingRecords) {
  GeometryState state;
  DocumentText doc = MakeDocument(Line("1,1 2,2") + Ring("1,1 2,2"));
  std::string first = BuildMifText(state, doc);
  EXPECT_EQ(BuildMifText(state, doc), first);
  EXPECT_EQ(state.LineMatches.size(), 1u);
  EXPECT_EQ(state.PolygonMatches.size(), 1u);
  EXPECT_EQ(state.SharedPattern.element_name(), "coordinates");
}

TEST(PointSection, RecordsTakeTheFirstTwoFieldsOfTheFirstTuple) {
  struct Case {
    const char* coordinates;
    const char* record;  // empty: no record
  } cases[] = {
      {"116.1,39.9,0", "Point 116.1 39.9\r\n    Symbol (35,0,12)\r\n"},
      {"116.1,39.9", "Point 116.1 39.9\r\n    Symbol (35,0,12)\r\n"},
      {"116.1,39.9,0,7", "Point 116.1 39.9\r\n    Symbol (35,0,12)\r\n"},
      {"abc,def", ""},  // MapInfo reads no coordinate that is no number
      {"-116.1,+39.9,0", "Point -116.1 +39.9\r\n    Symbol (35,0,12)\r\n"},
      // A leading blank or Google Earth's line layout leaves one space after "Point".
      {" 116.1,39.9,0", "Point 116.1 39.9\r\n    Symbol (35,0,12)\r\n"},
      {"\n\t\t\t116.1,39.9,0 \n\t\t", "Point 116.1 39.9\r\n    Symbol (35,0,12)\r\n"},
      {"116.1,39.9 117,40", "Point 116.1 39.9\r\n    Symbol (35,0,12)\r\n"},
      {"", ""},
      {"116.1", ""},
      {",39.9", ""},
      {"116.1,", ""},
      {"116.1,,0", ""},
      {" \t\r\n", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Points(std::string("<Point><coordinates>") + c.coordinates + "</coordinates></Point>"),
              c.record)
        << "coordinates: " << c.coordinates;
  }
}

TEST(PointSection, OneRecordPerCoordinatesElementInDocumentOrder) {
  std::string kml =
      "<Point><coordinates>1,2</coordinates></Point><LineString><coordinates>9,9</coordinates>"
      "</LineString><Point><coordinates>3,4</coordinates><coordinates>5,6</coordinates></Point>"
      "<Point><name>none</name></Point>";
  EXPECT_EQ(Points(kml),
            "Point 1 2\r\n    Symbol (35,0,12)\r\nPoint 3 4\r\n    Symbol (35,0,12)\r\n"
            "Point 5 6\r\n    Symbol (35,0,12)\r\n");
}

TEST(PointSection, CoordinatesMayRunAcrossTwoPointElements) {
  // The coordinates search runs over the texts of the Point elements joined with CR LF.
  EXPECT_EQ(Points("<Point><coordinates></Point><Point>7,8</coordinates></Point>"),
            "Point 7 8\r\n    Symbol (35,0,12)\r\n");
}

TEST(PlineSection, EveryUsableTupleIsAVertex) {
  struct Case {
    const char* coordinates;
    const char* vertices;  // empty: no record
  } cases[] = {
      {"116.1,39.9,0 116.2,39.8,0 116.3,39.7,0", "3\r\n116.1 39.9\r\n116.2 39.8\r\n116.3 39.7\r\n"},
      {"116.1,39.9 116.2,39.8 116.3,39.7", "3\r\n116.1 39.9\r\n116.2 39.8\r\n116.3 39.7\r\n"},
      {"116.1,39.9 116.2,39.8", "2\r\n116.1 39.9\r\n116.2 39.8\r\n"},
      {"116.1,39.9,0 116.2,39.8,0 ", "2\r\n116.1 39.9\r\n116.2 39.8\r\n"},
      {"\n\t\t\t\t116.1,39.9,0 116.2,39.8,0 \n\t\t\t", "2\r\n116.1 39.9\r\n116.2 39.8\r\n"},
      {"116.1,39.9,0\n116.2,39.8,0\r\n116.3,39.7,0", "3\r\n116.1 39.9\r\n116.2 39.8\r\n116.3 39.7\r\n"},
      {"116.1,39.9\t116.2,39.8\f\v1,2", "3\r\n116.1 39.9\r\n116.2 39.8\r\n1 2\r\n"},
      {"1,2  3,4", "2\r\n1 2\r\n3 4\r\n"},
      {"1,2 bad 3 ,4 5, 6,7", "2\r\n1 2\r\n6 7\r\n"},
      {"116.1,39.9,0", ""},
      {"1,2 x", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    std::string expected = *c.vertices ? std::string("\r\nPline ") + c.vertices + kPen : "";
    EXPECT_EQ(Plines(Line(c.coordinates)), expected) << "coordinates: " << c.coordinates;
  }
}

TEST(PlineSection, RecordsFollowEachOtherWithoutEmptyLines) {
  EXPECT_EQ(Plines(Line("1,1 2,2") + "<LineString><name/></LineString>" + Line("3,3 4,4")),
            "\r\nPline 2\r\n1 1\r\n2 2\r\n" + kPen + "\r\nPline 2\r\n3 3\r\n4 4\r\n" + kPen);
}

TEST(RegionSection, ClosedRingKeepsItsClosingVertex) {
  EXPECT_EQ(Regions(Ring("116.1,39.9,0 116.2,39.9,0 116.2,39.8,0 116.1,39.9,0")),
            "\r\nRegion  1 \r\n  4\r\n116.1 39.9\r\n116.2 39.9\r\n116.2 39.8\r\n116.1 39.9\r\n" +
                kRegionTail);
  EXPECT_EQ(Regions(Ring("\n\t116.1,39.9,0 116.2,39.9,0 116.2,39.8,0 116.1,39.9,0 \t\n")),
            "\r\nRegion  1 \r\n  4\r\n116.1 39.9\r\n116.2 39.9\r\n116.2 39.8\r\n116.1 39.9\r\n" +
                kRegionTail);
}

TEST(RegionSection, OuterAndInnerBoundaryGiveTwoRegions) {
  std::string kml = "<Polygon><outerBoundaryIs>" + Ring("0,0 4,0 4,4 0,0") +
                    "</outerBoundaryIs><innerBoundaryIs>" + Ring("1,1 2,1 2,2 1,1") +
                    "</innerBoundaryIs></Polygon>";
  EXPECT_EQ(Regions(kml), "\r\nRegion  1 \r\n  4\r\n0 0\r\n4 0\r\n4 4\r\n0 0\r\n" + kRegionTail +
                              "\r\nRegion  1 \r\n  4\r\n1 1\r\n2 1\r\n2 2\r\n1 1\r\n" + kRegionTail);
  EXPECT_EQ(Regions(Ring("1,1")), "");
  EXPECT_EQ(Regions("<Polygon/>"), "");
}

TEST(CoordinatesSearch, FindsWhatTheEngineFindsInTheJoinedElementTexts) {
  // Coordinates elements and their tags cut by the end of a Point element run on across the
  // CR LF that joins the element texts, as they do in the joined text.
  GeometryState state;
  DocumentText doc = MakeDocument(
      "<Point><coordinates>1,1</coordinates></Point>"
      "<Point><coordinates>2,2</Point><Point>tail</coordinates></Point>"
      "<Point><coordinates</Point><Point>a=\"1\">3,3</coordinates</Point><Point>></Point>"
      "<Point><kml:coordinates id=\"c\">4,4</kml:coordinates\n></Point>");
  std::vector<std::string> found;
  const MatchCollection& points = ElementSearch(state, GeometryKind::kPoint, doc);
  state.SharedPattern.CompileElement("coordinates");
  ForEachCoordinatesText(points.matches(), state.SharedPattern, [&](std::string_view t) { found.emplace_back(t); });
  EXPECT_EQ(found, (std::vector<std::string>{"1,1", "2,2\r\ntail", "3,3", "4,4"}));

  // The same on generated element texts, against the engine on the joined text.
  std::mt19937 random(11);
  const char* const pieces[] = {"<P>", "</P>", "<c>", "</c>", "<c", "</c", ">", "<", " ", "\n", "1,2", "x=\"1\""};
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    for (int n = static_cast<int>(random() % 30); n > 0; --n) text += pieces[random() % std::size(pieces)];
    Pattern elements, coordinates;
    elements.CompileElement("P");
    coordinates.CompileElement("c");
    std::vector<ElementMatch> groups = elements.FindAll(text);
    std::vector<std::string> segmented, joined;
    ForEachCoordinatesText(groups, coordinates, [&](std::string_view t) { segmented.emplace_back(t); });
    std::string inner = coordinates_internal::JoinGroups(groups, 0, 0);
    for (const ElementMatch& m : coordinates.FindAllWithEngine(inner)) {
      joined.emplace_back(m.group);
    }
    ASSERT_EQ(segmented, joined) << text;
  }
}
