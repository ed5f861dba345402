#include "mif/element_search.h"

#include <gtest/gtest.h>

#include "mif/analysis.h"

namespace {

std::vector<std::string> Wholes(const MatchCollection& c) {
  std::vector<std::string> out;
  for (const ElementMatch& m : c.matches()) out.emplace_back(m.whole);
  return out;
}

}  // namespace

TEST(ElementSearch, TagsMayCarryAttributesAndAPrefixAndEndAtTheFirstClosingTag) {
  GeometryState state;
  DocumentText doc = MakeDocument(
      "<Point id=\"a\">1</Point>"
      "<Point >2</Point >"
      "<kml:Point>3</kml:Point>"
      "<Point\n\tid=\"x/\">4</Point\r\n>"
      "<Point/><Point /><Points>x</Points><PointStyle>x</PointStyle><point>x</point>"
      "<a:b:Point>x</Point><Point:x>x</Point>"
      "<Point>open <Point>inner</Point> tail</Point>"
      "<Point>\r\nmulti\nline\r\n</Point>");
  EXPECT_EQ(Wholes(ElementSearch(state, GeometryKind::kPoint, doc)),
            (std::vector<std::string>{
                "<Point id=\"a\">1</Point>", "<Point >2</Point >", "<kml:Point>3</kml:Point>",
                "<Point\n\tid=\"x/\">4</Point\r\n>",
                // Self-closing and other names open nothing, so the next element runs from the
                // opening tag after them.
                "<Point>open <Point>inner</Point>", "<Point>\r\nmulti\nline\r\n</Point>"}));
  EXPECT_EQ(state.PointMatches.matches()[0].group, "1");
  EXPECT_EQ(state.SharedPattern.source(), ElementPattern(GeometryKind::kPoint));
}

TEST(ElementSearch, ReplacesTheCollectionAndKeepsItsTextAlive) {
  GeometryState state;
  DocumentText doc = MakeDocument("<LineString>a</LineString><LineString>b</LineString>");
  ElementSearch(state, GeometryKind::kLine, doc);
  ElementSearch(state, GeometryKind::kLine, doc);
  doc = MakeDocument("replaced");
  ASSERT_EQ(state.LineMatches.size(), 2u);
  EXPECT_EQ(state.LineMatches.matches()[1].group, "b");
  ElementSearch(state, GeometryKind::kLine, nullptr);
  EXPECT_TRUE(state.LineMatches.empty());
  EXPECT_TRUE(state.PointMatches.empty());
}

TEST(Analysis, PointsListWholeTextsLinesAndPolygonsTheirContents) {
  GeometryState state;
  const std::string point = "<Point><coordinates>1,2</coordinates></Point>";
  AnalysisReport points = Analyse(state, GeometryKind::kPoint, MakeDocument(point + "\n" + point));
  EXPECT_EQ(points.count, 2u);
  EXPECT_EQ(points.message, "分析完毕，共有2个离散的点");
  EXPECT_EQ(points.result_text, point + "\r\n" + point + "\r\n");

  AnalysisReport lines =
      Analyse(state, GeometryKind::kLine, MakeDocument("<LineString>x</LineString><LineString>y</LineString>"));
  EXPECT_EQ(lines.message, "分析完毕，共有2条线");
  EXPECT_EQ(lines.result_text, "x\r\ny\r\n");

  AnalysisReport rings = Analyse(state, GeometryKind::kPolygon,
                                 MakeDocument("<LinearRing>o</LinearRing><LinearRing>i</LinearRing>"));
  EXPECT_EQ(rings.message, "分析完毕，共有2个多边形");
  EXPECT_EQ(rings.result_text, "o\r\ni\r\n");
}

TEST(Analysis, EmptyDocumentReportsZero) {
  GeometryState state;
  AnalysisReport report = Analyse(state, GeometryKind::kPolygon, MakeDocument(""));
  EXPECT_EQ(report.count, 0u);
  EXPECT_EQ(report.message, "分析完毕，共有0个多边形");
  EXPECT_EQ(report.result_text, "");
}

TEST(Analysis, CountsWithoutSeparators) {
  std::string kml;
  for (int i = 0; i < 1234; ++i) kml += "<LineString></LineString>";
  GeometryState state;
  EXPECT_EQ(Analyse(state, GeometryKind::kLine, MakeDocument(kml)).message, "分析完毕，共有1234条线");
}
