// The conversion's options: attributes in a MID file, styles, polygons with holes, tracks.
#include "features/feature_export.h"

#include <gtest/gtest.h>

#include "features/description_fields.h"
#include "features/kml_features.h"
#include "features/placemark_stretches.h"
#include "features/row_spool.h"
#include "features/table_layout.h"
#include "features/kml_values.h"
#include "features/mif_styles.h"

namespace {

// The literals of these tests are GBK, as the window's document text is.
ConvertedText Convert(const std::string& kml, ConversionOptions options) {
  std::string decoded;
  return ConvertInMemory(SourceOf(kml, Encoding::kAnsi, &decoded), options);
}

// The MIF text after its "Data" line.
std::string Records(const std::string& mif) { return mif.substr(mif.find("Data\r\n") + 6); }

const ConversionOptions kAttributes{true, false, false, false};
const ConversionOptions kStyles{false, true, false, false};
const ConversionOptions kPolygons{false, false, true, false};
const ConversionOptions kTracks{false, false, false, true};

// All that a reading of the features in stretches found, one line per placemark. With a
// `planner` and `scan`, the export's tags and those of the elements go to them.
std::string Describe(const std::string& kml, int threads, size_t block = size_t{4} << 20, ExportPlanner* planner = nullptr,
                     NamedTagScan* scan = nullptr) {
  KmlFeatures document(kml, Encoding::kAnsi);
  StretchReading how;
  how.planner = planner;
  if (scan) how.element_names = {"Polygon", "Track"};
  PlacemarkStretches stretches(kml, Encoding::kAnsi, how, document);
  std::string out;
  int inline_styles = 0;  // before the stretch
  std::vector<std::unique_ptr<PlacemarkStretch>> read;
  stretches.Read(threads, block, [&](std::unique_ptr<PlacemarkStretch> stretch) {
    if (scan) scan->Append(*stretch->element_tags);
    read.push_back(std::move(stretch));
  });
  // The folders' names are known once the whole document is read.
  for (const auto& stretch : read) {
    const KmlFeatures& f = *stretch->found;
    for (size_t i = 0; i < f.placemarks.size(); ++i) {
      const Placemark& p = f.placemarks[i];
      out += std::to_string(p.begin) + "-" + std::to_string(p.end) + " " + std::string(f.Value(p.name)) + "|" +
             std::string(f.Value(p.description)) + "|" + std::string(f.Value(p.style_url)) + "|" +
             document.FolderPath(stretch->folder_of[i]) + "|" +
             std::to_string(p.inline_style < 0 ? -1 : p.inline_style + inline_styles) + "|";
      for (uint32_t d = p.first_data; d < p.first_data + p.data_count; ++d) {
        out += document.fields[static_cast<size_t>(stretch->field_of[static_cast<size_t>(f.data[d].field)])] + "=" +
               std::string(f.Value(f.data[d].value)) + ";";
      }
      const KmlStyle* style = f.StyleOf(p, document);
      out += style ? style->line_color + "," + style->icon_scale : "-";
      if (const PlacemarkTimes t = f.TimesOf(p); p.times != Placemark::kNoTimes) {
        out += "|" + std::string(f.Value(t.stamp)) + "/" + std::string(f.Value(t.begin)) + "/" + std::string(f.Value(t.end));
      }
      out += "\n";
    }
    inline_styles += static_cast<int>(f.inline_styles.size());
  }
  return out;
}

}  // namespace

TEST(KmlValues, AreCleanedAsAttributeValues) {
  EXPECT_EQ(CleanValue("  a &amp; b\r\n<![CDATA[<c> &amp;]]>\t"), "a & b <c> &amp;");
  EXPECT_EQ(CleanValue("&lt;&gt;&quot;&apos;&#65;&#x42;&#x4E2D;&#x1F600;&bogus; &"), "<>\"'AB\xD6\xD0?&bogus; &");
  EXPECT_EQ(CleanValue("line\r\nbreaks\rand\nmore"), "line breaks and more");
  EXPECT_EQ(DecodeEntities("#\xE6\xA0\xB7&amp;"), "#\xE6\xA0\xB7&");
}

TEST(TableLayout, ColumnNamesAreTheDocumentsAsMapInfoTakesThem) {
  EXPECT_EQ(ColumnName("\xD5\xBE\xB5\xE3 \xC0\xE0\xD0\xCD"), "\xD5\xBE\xB5\xE3_\xC0\xE0\xD0\xCD");  // 站点 类型
  EXPECT_EQ(ColumnName("a-b.c(d)"), "a_b_c_d_");
  EXPECT_EQ(ColumnName("2020\xA3\xAC"), "_2020_");  // a digit first; a full-width comma
  EXPECT_EQ(ColumnName(""), "_");
  // Letters of any script that GBK holds stay: データ, Имя, α角, ＡＢ; punctuation and symbols
  // of the full-width rows go: （ and ①.
  for (const char* letters : {"\xA5\xC7\xA9\x60\xA5\xBF", "\xA7\xBA\xA7\xDE\xA7\xF1", "\xA6\xC1\xBD\xC7",
                              "\xA3\xC1\xA3\xC2"}) {
    EXPECT_EQ(ColumnName(letters), letters);
  }
  EXPECT_EQ(ColumnName("\xA3\xA8x\xA2\xD9"), "_x_");
  EXPECT_EQ(ColumnName(std::string(15, 'x') + std::string(20, '\xD6')), std::string(15, 'x') + std::string(16, '\xD6'));
  EXPECT_EQ(CutBetweenCharacters("ab\xD6\xD0\xCE\xC4", 5), "ab\xD6\xD0");
}

TEST(FeatureExport, AttributesGiveOneRowPerObjectInTheMifsOrder) {
  std::string kml = R"(<kml><Document><Folder><name>外</name><Folder><name>内</name>
    <Placemark><name> 甲 </name><atom:author><atom:name>not this</atom:name></atom:author>
      <description><![CDATA[<b>"x"</b>]]></description>
      <ExtendedData><Data name="基站 编号"><value>B1</value></Data>
        <SchemaData><SimpleData name="name">s</SimpleData></SchemaData></ExtendedData>
      <MultiGeometry><LineString><coordinates>1,1 2,2</coordinates></LineString>
        <Point><coordinates>3,3</coordinates></Point></MultiGeometry></Placemark>
    </Folder></Folder>
    <Placemark><name>乙</name><Point><coordinates>4,4</coordinates></Point>
    <Placemark><name>丙</name><LineString><coordinates>5,5 6</coordinates></LineString></Placemark>
    <Point><coordinates>7,7</coordinates></Point></Document></kml>)";
  ConvertedText out = Convert(kml, kAttributes);
  // 外/内 = CD E2 / C4 DA, 甲 乙 = BC D7 / D2 D2, 基站 编号 = BB F9 D5 BE, B1 E0 BA C5; 丙's line
  // is unusable, so 丙 gives no row; 乙, left open, holds 丙 and is open again after it.
  size_t columns = out.mif.find("Columns");
  EXPECT_EQ(out.mif.substr(columns, out.mif.find("Data\r\n") - columns),
            "Columns 5\r\n  Name Char(2)\r\n  Description Char(10)\r\n  Folder Char(5)\r\n"
            "  \xBB\xF9\xD5\xBE_\xB1\xE0\xBA\xC5 Char(2)\r\n  name_2 Char(1)\r\n");
  EXPECT_EQ(out.mid,
            "\"\xBC\xD7\",\"<b>\"\"x\"\"</b>\",\"\xCD\xE2/\xC4\xDA\",\"B1\",\"s\"\r\n"  // 甲's point
            "\"\xD2\xD2\",\"\",\"\",\"\",\"\"\r\n"                                   // 乙's point
            "\"\xD2\xD2\",\"\",\"\",\"\",\"\"\r\n"                                   // 乙's point after 丙
            "\"\xBC\xD7\",\"<b>\"\"x\"\"</b>\",\"\xCD\xE2/\xC4\xDA\",\"B1\",\"s\"\r\n");  // 甲's line
}

TEST(FeatureExport, LongValuesAreCutAndColumnsBeyondTheLimitLeftOut) {
  std::string data;
  for (int i = 0; i < 260; ++i) data += "<Data name=\"f" + std::to_string(i) + "\"><value>v</value></Data>";
  std::string kml = "<Placemark><name>" + std::string(300, 'n') + "</name><ExtendedData>" + data +
                    "</ExtendedData><Point><coordinates>1,1</coordinates></Point></Placemark>";
  ConvertedText out = Convert(kml, kAttributes);
  EXPECT_EQ(out.report.dropped_columns, 13u);
  EXPECT_EQ(out.report.cut_values, 1u);
  EXPECT_NE(out.mif.find("Columns 250\r\n  Name Char(254)\r\n"), std::string::npos);
  EXPECT_EQ(out.mid.substr(0, 257), "\"" + std::string(254, 'n') + "\",");
}

TEST(FeatureExport, StylesComeFromThePlacemarkItsStyleUrlOrItsStyleMap) {
  std::string kml = R"(<Document>
    <Placemark><styleUrl>#后</styleUrl><LineString><coordinates>1,1 2,2</coordinates></LineString></Placemark>
    <Placemark><styleUrl>#映射</styleUrl><Style><LineStyle><width>2.5</width></LineStyle></Style>
      <Polygon><outerBoundaryIs><LinearRing><coordinates>0,0 1,0 1,1 0,0</coordinates></LinearRing></outerBoundaryIs></Polygon></Placemark>
    <Placemark><styleUrl>#映射</styleUrl><Point><coordinates>3,3</coordinates></Point>
      <LinearRing><coordinates>0,0 1,0 1,1 0,0</coordinates></LinearRing></Placemark>
    <StyleMap id="映射"><Pair><key>highlight</key><styleUrl>#高</styleUrl></Pair>
      <Pair><key>normal</key><styleUrl>#常</styleUrl></Pair></StyleMap>
    <Style id="常"><IconStyle><color>ff0000ff</color><scale>1.5</scale></IconStyle>
      <LineStyle><color>00ffffff</color></LineStyle><PolyStyle><color>80123456</color><outline>0</outline></PolyStyle></Style>
    <Style id="高"><IconStyle><color>ff00ff00</color></IconStyle></Style>
    <Style id="后"><LineStyle><color>ff000000</color><width>12</width></LineStyle></Style></Document>)";
  EXPECT_EQ(Records(Convert(kml, kStyles).mif),
            "Point 3 3\r\n    Symbol (35,16711680,18)\r\n"
            "\r\n"
            "\r\nPline 2\r\n1 1\r\n2 2\r\n    Pen (7,2,0)"
            "\r\n"
            // An inline style replaces the shared one whole.
            "\r\nRegion  1 \r\n  4\r\n0 0\r\n1 0\r\n1 1\r\n0 0\r\n    Pen (3,2,2105599)\r\n    Brush (2,16728128,16777215)"
            "\r\nRegion  1 \r\n  4\r\n0 0\r\n1 0\r\n1 1\r\n0 0\r\n    Pen (3,1,16777215)\r\n    Brush (2,5649426)");
  KmlStyle fill_off;
  fill_off.fill = "0";
  fill_off.line_width = "0.2";
  EXPECT_EQ(RegionClause(&fill_off), "    Pen (1,2,2105599)\r\n    Brush (1,0)");
  EXPECT_EQ(SymbolClause(nullptr), "    Symbol (35,0,12)\r\n");
}

TEST(FeatureExport, PolygonsKeepTheirHolesAndTracksBecomeLines) {
  std::string ring = "<LinearRing><coordinates>0,0 4,0 4,4 0,0</coordinates></LinearRing>";
  std::string hole = "<LinearRing><coordinates>1,1 2,1 2,2 1,1</coordinates></LinearRing>";
  std::string kml =
      "<Polygon><outerBoundaryIs>" + ring + "</outerBoundaryIs><innerBoundaryIs>" + hole +
      "</innerBoundaryIs><innerBoundaryIs><LinearRing><coordinates>9,9</coordinates></LinearRing>"
      "</innerBoundaryIs></Polygon>"
      "<Polygon><outerBoundaryIs><LinearRing><coordinates>5,5</coordinates></LinearRing></outerBoundaryIs>"
      "<innerBoundaryIs>" + hole + "</innerBoundaryIs></Polygon>" + hole +
      "<gx:MultiTrack><gx:Track><when>t</when><gx:coord>1 2 3</gx:coord><gx:coord> 4\t5 </gx:coord>"
      "<gx:coord>6</gx:coord></gx:Track><gx:Track><gx:coord>7 8</gx:coord></gx:Track></gx:MultiTrack>"
      // Points come first in the file, wherever they stand in the document.
      "<Point><coordinates>3,3</coordinates></Point>";
  const std::string tail = "    Pen (3,2,2105599)\r\n    Brush (2,16728128,16777215)";
  const std::string point = "Point 3 3\r\n    Symbol (35,0,12)\r\n";
  EXPECT_EQ(Records(Convert(kml, kPolygons).mif),
            point + "\r\n\r\n"
            "\r\nRegion  2 \r\n  4\r\n0 0\r\n4 0\r\n4 4\r\n0 0\r\n  4\r\n1 1\r\n2 1\r\n2 2\r\n1 1\r\n" + tail +
            // The second polygon has no usable outer ring; the ring outside any polygon stays.
            "\r\nRegion  1 \r\n  4\r\n1 1\r\n2 1\r\n2 2\r\n1 1\r\n" + tail);
  std::string tracks = Records(Convert(kml, kTracks).mif);
  EXPECT_EQ(tracks.substr(0, tracks.find("\r\nRegion")), point + "\r\n\r\nPline 2\r\n1 2\r\n4 5\r\n    Pen (3,2,2105599)\r\n");
}

TEST(PlacemarkStretches, ReadOnThreadsAsInOneGo) {
  // Placemark tags inside CDATA sections and comments, placemarks left open, a "<" of text,
  // prefixes: wherever the blocks begin, the stretches read must join into the same reading.
  std::string kml = R"(<?xml version="1.0"?><kml><Document><name>d</name>
    <Style id="s"><LineStyle><color>ff0000ff</color></LineStyle></Style>
    <Folder><name>f1</name><Placemark id="a"><name>one</name><description><![CDATA[<Placemark><name>no</name>
      </Placemark> a < b]]></description><styleUrl>#m</styleUrl><Point><coordinates>1,1</coordinates></Point></Placemark>
    <!-- <Placemark><name>commented</name></Placemark> -->
    <kml:Placemark><name>two</name><TimeSpan><end>t2</end></TimeSpan><ExtendedData><Data name="k"><value>v &amp; w</value></Data>
      <SchemaData><SimpleData name="s2">x</SimpleData></SchemaData></ExtendedData>
    </Folder><Folder><name>f2</name><Placemark/><Placemark><name>three</name><TimeStamp><when>t3</when></TimeStamp><Style><IconStyle><scale>2</scale></IconStyle></Style>
    <Placemark><name>four</name><![CDATA[ <Placemark> ]]><name>not the first</name></Placemark></Folder>
    <StyleMap id="m"><Pair><key>normal</key><styleUrl>#s</styleUrl></Pair></StyleMap>
    <Placemark><name>five</name><!-- unclosed comment <Placemark><name>six</name></Placemark>
  </Document></kml>)";
  const std::string whole = Describe(kml, 1);
  EXPECT_NE(whole.find("one|<Placemark><name>no</name>       </Placemark> a < b|#m|f1|-1|ff0000ff,"), std::string::npos);
  EXPECT_NE(whole.find("two|||f1|-1|k=v & w;s2=x;-"), std::string::npos);
  EXPECT_NE(whole.find("four|||f2|-1|-"), std::string::npos);
  EXPECT_NE(whole.find("three|||f2|0|,2|t3//\n"), std::string::npos);
  EXPECT_NE(whole.find("two|||f1|-1|k=v & w;s2=x;-|//t2\n"), std::string::npos);
  EXPECT_EQ(whole.find("commented"), std::string::npos);
  EXPECT_NE(whole.find("six"), std::string::npos);  // a comment never closed is none
  kml += "<Point><coordinates>1,2</coordinates></Point><![CDATA[<LineString><coordinates>3,4 5,6</coordinates>"
         "</LineString><Polygon>in</Polygon>]]><gx:Track><when>t</when></gx:Track><Polygon>p</Polygon>";
  ASSERT_EQ(Describe(kml, 1), whole);
  const std::array<KindPlan, 3> plan = PlanExport(kml, 1);
  auto coordinates = [&](const std::array<KindPlan, 3>& plans) {
    std::string found;
    for (const KindPlan& kind : plans) {
      for (const TextSpan& span : kind.coordinates) found += kml.substr(span.begin, span.end - span.begin) + ";";
      found += std::to_string(kind.elements) + "\n";
    }
    return found;
  };
  const std::vector<std::string_view> names{"Polygon", "Track"};
  auto elements = [](const std::vector<std::vector<ElementMatch>>& found) {
    std::string texts;
    for (const std::vector<ElementMatch>& name : found) {
      for (const ElementMatch& element : name) texts += std::string(element.whole) + ";";
    }
    return texts;
  };
  const std::string searched = elements(FindElementsOfEach(kml, names, 1));
  ASSERT_EQ(searched, "<Polygon>in</Polygon>;<Polygon>p</Polygon>;<gx:Track><when>t</when></gx:Track>;");
  for (size_t block = 1; block <= kml.size(); block += block < 40 ? 1 : 37) {
    for (int threads : {2, 3}) {
      // The geometry plan and the elements found in the same pass are those of their own searches.
      ExportPlanner planner(kml);
      NamedTagScan scan(names);
      EXPECT_EQ(Describe(kml, threads, block, &planner, &scan), whole)
          << block << " " << threads;
      EXPECT_EQ(coordinates(planner.plans()), coordinates(plan)) << block;
      EXPECT_EQ(elements(scan.Elements(kml)), searched) << block;
    }
  }
}

TEST(FeatureExport, TransparentColoursAndChainsOfStyleMaps) {
  std::string kml = R"(<Document>
    <Style id="outline"><LineStyle><color>00ff0000</color><width>2</width></LineStyle>
      <PolyStyle><color>00ff0000</color></PolyStyle></Style>
    <StyleMap id="a"><Pair><key>normal</key><styleUrl>#b</styleUrl></Pair></StyleMap>
    <StyleMap id="b"><Pair><key>normal</key><styleUrl>#outline</styleUrl></Pair></StyleMap>
    <StyleMap id="loop"><Pair><key>normal</key><styleUrl>#loop</styleUrl></Pair></StyleMap>
    <Placemark><styleUrl>#a</styleUrl><LineString><coordinates>1,1 2,2</coordinates></LineString>
      <LinearRing><coordinates>0,0 1,0 1,1 0,0</coordinates></LinearRing></Placemark>
    <Placemark><styleUrl>#loop</styleUrl><LineString><coordinates>3,3 4,4</coordinates></LineString></Placemark></Document>)";
  EXPECT_EQ(Records(Convert(kml, kStyles).mif),
            "\r\n"
            // A line of alpha 00 is drawn with no pen; a fill of alpha 00 is none.
            "\r\nPline 2\r\n1 1\r\n2 2\r\n    Pen (2,1,255)"
            "\r\nPline 2\r\n3 3\r\n4 4\r\n    Pen (3,2,2105599)"
            "\r\n"
            "\r\nRegion  1 \r\n  4\r\n0 0\r\n1 0\r\n1 1\r\n0 0\r\n    Pen (2,1,255)\r\n    Brush (1,0)");
}

TEST(FeatureExport, AfterANestedPlacemarkTheOuterOneIsOpenAgain) {
  std::string kml = R"(<Document><Placemark><name>outer</name><Point><coordinates>1,1</coordinates></Point>
    <Placemark><name>inner</name><ExtendedData><Data name="k"><value>in</value></Data></ExtendedData>
      <Point><coordinates>2,2</coordinates></Point></Placemark>
    <ExtendedData><Data name="k"><value>out</value></Data></ExtendedData>
    <Point><coordinates>3,3</coordinates></Point></Placemark>
    <Point><coordinates>4,4</coordinates></Point></Document>)";
  EXPECT_EQ(Convert(kml, kAttributes).mid,
            "\"outer\",\"\",\"\",\"out\"\r\n"
            "\"inner\",\"\",\"\",\"in\"\r\n"
            "\"outer\",\"\",\"\",\"out\"\r\n"
            "\"\",\"\",\"\",\"\"\r\n");
  // One object for each of them: the outer one's line after the inner one is still its own.
  ConversionOptions multi;
  multi.multi = multi.attributes = true;
  ConvertedText out = Convert(R"(<Placemark><name>outer</name><Point><coordinates>1,1</coordinates></Point>
    <Placemark><name>inner</name><LineString><coordinates>2,2 3,3</coordinates></LineString></Placemark>
    <LineString><coordinates>4,4 5,5</coordinates></LineString></Placemark>)",
                              multi);
  EXPECT_EQ(Records(out.mif),
            "\r\nCollection 2\r\n  Pline 2\r\n4 4\r\n5 5\r\n    Pen (3,2,2105599)\r\n  Multipoint 1\r\n1 1\r\n    Symbol (35,0,12)"
            "\r\nPline 2\r\n2 2\r\n3 3\r\n    Pen (3,2,2105599)\r\n");
  EXPECT_EQ(out.mid, "\"outer\",\"\",\"\"\r\n\"inner\",\"\",\"\"\r\n");
}

namespace {

ConversionOptions With(bool ConversionOptions::*flag, bool ConversionOptions::*other = nullptr) {
  ConversionOptions options;
  options.*flag = true;
  if (other) options.*other = true;
  return options;
}

}  // namespace

TEST(FeatureExport, MultiGivesOneObjectPerPlacemark) {
  std::string kml = R"(<Document>
    <Placemark><name>a</name><MultiGeometry><Point><coordinates>1,1</coordinates></Point>
      <MultiGeometry><Point><coordinates>2,2</coordinates></Point></MultiGeometry></MultiGeometry></Placemark>
    <Placemark><name>b</name><MultiGeometry><LineString><coordinates>1,1 2,2</coordinates></LineString>
      <LineString><coordinates>3,3 4,4 5,5</coordinates></LineString><LineString><coordinates>9,9</coordinates></LineString></MultiGeometry></Placemark>
    <Point><coordinates>7,7</coordinates></Point>
    <Placemark><name>c</name><MultiGeometry><Polygon><outerBoundaryIs><LinearRing><coordinates>0,0 4,0 4,4 0,0</coordinates></LinearRing></outerBoundaryIs>
      <innerBoundaryIs><LinearRing><coordinates>1,1 2,1 2,2 1,1</coordinates></LinearRing></innerBoundaryIs></Polygon>
      <Polygon><outerBoundaryIs><LinearRing><coordinates>5,5 6,5 6,6 5,5</coordinates></LinearRing></outerBoundaryIs></Polygon></MultiGeometry></Placemark>
    <Placemark><name>d</name><MultiGeometry><Point><coordinates>8,8</coordinates></Point>
      <LineString><coordinates>1,1 2,2</coordinates></LineString>
      <Polygon><outerBoundaryIs><LinearRing><coordinates>0,0 1,0 1,1 0,0</coordinates></LinearRing></outerBoundaryIs></Polygon></MultiGeometry></Placemark>
    <Placemark><name>e</name><Point><coordinates>3,3</coordinates></Point><LineString><coordinates>1,1</coordinates></LineString></Placemark>
    </Document>)";
  ConversionOptions options = With(&ConversionOptions::multi, &ConversionOptions::polygons);
  options.attributes = true;
  ConvertedText out = Convert(kml, options);
  EXPECT_EQ(out.mif.substr(0, 15), "Version   650\r\n");
  EXPECT_EQ(Records(out.mif),
            "\r\nMultipoint 2\r\n1 1\r\n2 2\r\n    Symbol (35,0,12)"
            "\r\nPline Multiple 2\r\n  2\r\n1 1\r\n2 2\r\n  3\r\n3 3\r\n4 4\r\n5 5\r\n    Pen (3,2,2105599)"
            "\r\nPoint 7 7\r\n    Symbol (35,0,12)"
            "\r\nRegion  3 \r\n  4\r\n0 0\r\n4 0\r\n4 4\r\n0 0\r\n  4\r\n1 1\r\n2 1\r\n2 2\r\n1 1\r\n  4\r\n5 5\r\n6 5\r\n6 6\r\n5 5\r\n"
            "    Pen (3,2,2105599)\r\n    Brush (2,16728128,16777215)"
            "\r\nCollection 3"
            "\r\n  Region  1 \r\n  4\r\n0 0\r\n1 0\r\n1 1\r\n0 0\r\n    Pen (3,2,2105599)\r\n    Brush (2,16728128,16777215)"
            "\r\n  Pline 2\r\n1 1\r\n2 2\r\n    Pen (3,2,2105599)"
            "\r\n  Multipoint 1\r\n8 8\r\n    Symbol (35,0,12)"
            // e's line is unusable: its point is a point.
            "\r\nPoint 3 3\r\n    Symbol (35,0,12)\r\n");
  EXPECT_EQ(out.mid, "\"a\",\"\",\"\"\r\n\"b\",\"\",\"\"\r\n\"\",\"\",\"\"\r\n\"c\",\"\",\"\"\r\n\"d\",\"\",\"\"\r\n\"e\",\"\",\"\"\r\n");
  // Without a Multipoint or a Collection the file stays version 300.
  EXPECT_EQ(Convert("<Placemark><Point><coordinates>1,1</coordinates></Point></Placemark>", options).mif.substr(0, 15),
            "Version   300\r\n");
}

TEST(FeatureExport, EmptyRowsGivePlacemarksWithoutGeometryARowInDocumentOrder) {
  std::string kml = R"(<Document><Placemark><name>a</name><Point><coordinates>1,1</coordinates></Point></Placemark>
    <Placemark><name>address only</name><address>1 Main St</address></Placemark>
    <Placemark><name>lost</name><LineString><coordinates>9,9</coordinates></LineString></Placemark>
    <Placemark><name>b</name><LineString><coordinates>1,1 2,2</coordinates></LineString></Placemark></Document>)";
  ConvertedText out = Convert(kml, With(&ConversionOptions::empty_rows));
  EXPECT_EQ(Records(out.mif), "\r\nPoint 1 1\r\n    Symbol (35,0,12)\r\nNone\r\nNone\r\nPline 2\r\n1 1\r\n2 2\r\n    Pen (3,2,2105599)\r\n");
  EXPECT_EQ(out.mid, "\"a\",\"\",\"\"\r\n\"address only\",\"\",\"\"\r\n\"lost\",\"\",\"\"\r\n\"b\",\"\",\"\"\r\n");
}

TEST(FeatureExport, TypedColumnsFromTheSchemas) {
  std::string kml = R"(<Document><Schema name="s" id="s">
      <SimpleField type="int" name="pop"/><SimpleField type="double" name="area"/><SimpleField type="bool" name="ok"/>
      <SimpleField type="string" name="code"/><SimpleField type="int" name="mixed"/><SimpleField type="uint" name="mixed"/>
      <SimpleField type="int" name="both"/></Schema>
    <Placemark><ExtendedData><SchemaData schemaUrl="#s"><SimpleData name="pop">12</SimpleData>
      <SimpleData name="area">1.5e3</SimpleData><SimpleData name="ok">true</SimpleData><SimpleData name="code">007</SimpleData>
      <SimpleData name="mixed">1</SimpleData><SimpleData name="both">2</SimpleData></SchemaData></ExtendedData>
      <Point><coordinates>1,1</coordinates></Point></Placemark>
    <Placemark><ExtendedData><Data name="both"><value>x</value></Data><SchemaData schemaUrl="#s">
      <SimpleData name="pop">3000000000</SimpleData><SimpleData name="area">.5</SimpleData><SimpleData name="ok">maybe</SimpleData>
      </SchemaData></ExtendedData><Point><coordinates>2,2</coordinates></Point></Placemark></Document>)";
  ConvertedText out = Convert(kml, With(&ConversionOptions::typed, &ConversionOptions::attributes));
  const size_t columns = out.mif.find("Columns");
  EXPECT_EQ(out.mif.substr(columns, out.mif.find("Data\r\n") - columns),
            "Columns 9\r\n  Name Char(1)\r\n  Description Char(1)\r\n  Folder Char(1)\r\n  pop Integer\r\n  area Float\r\n"
            "  ok Logical\r\n  code Char(3)\r\n  mixed Char(1)\r\n  both Char(1)\r\n");
  EXPECT_EQ(out.mid, "\"\",\"\",\"\",12,1.5e3,T,\"007\",\"1\",\"2\"\r\n\"\",\"\",\"\",,.5,,\"\",\"\",\"x\"\r\n");
  ASSERT_EQ(out.report.invalid_values.size(), 2u);
  EXPECT_EQ(out.report.invalid_values[0].column, "pop");
  EXPECT_EQ(out.report.invalid_values[1].count, 1u);
}

TEST(FeatureExport, TimeColumnsHoldTheTimesAsWritten) {
  std::string kml = R"(<Document>
    <Placemark><TimeStamp><when>2019-04-30T20:35:42.388Z</when></TimeStamp><Point><coordinates>1,1</coordinates></Point></Placemark>
    <Placemark><gx:TimeSpan><begin>2020</begin><end>2021</end></gx:TimeSpan><LookAt><TimeStamp><when>1999</when></TimeStamp></LookAt>
      <Point><coordinates>2,2</coordinates></Point></Placemark>
    <Placemark><gx:MultiTrack><gx:Track><when>t1</when><when>t2</when><gx:coord>1 1 0</gx:coord><gx:coord>2 2 0</gx:coord></gx:Track>
      <gx:Track><when>t3</when><when>t4</when></gx:Track></gx:MultiTrack><Point><coordinates>3,3</coordinates></Point></Placemark>
    </Document>)";
  ConvertedText out = Convert(kml, With(&ConversionOptions::times, &ConversionOptions::attributes));
  EXPECT_NE(out.mif.find("  TimeStamp Char(24)\r\n  TimeBegin Char(4)\r\n  TimeEnd Char(4)\r\nData"), std::string::npos);
  EXPECT_EQ(out.mid,
            "\"\",\"\",\"\",\"2019-04-30T20:35:42.388Z\",\"\",\"\"\r\n"
            "\"\",\"\",\"\",\"\",\"2020\",\"2021\"\r\n"
            "\"\",\"\",\"\",\"\",\"t1\",\"t4\"\r\n");
  // Only the columns that some placemark has.
  EXPECT_EQ(Convert("<Placemark><Point><coordinates>1,1</coordinates></Point></Placemark>",
                    With(&ConversionOptions::times, &ConversionOptions::attributes))
                .mif.find("Time"),
            std::string::npos);
}

TEST(FeatureExport, PlainDescriptionsAndCascadingStyles) {
  EXPECT_EQ(PlainText("<b>Name</b> = \xB1\xB1\xBE\xA9<br><table><tr><td>a</td><td>1</td></tr></table>"),
            "Name = \xB1\xB1\xBE\xA9 a; 1;");
  EXPECT_EQ(PlainText("<p>x&nbsp;&lt;y&gt;</p><script>var a = '<b>';</script><style>p {}</style>a < b &amp; c"),
            "x <y> a < b & c");
  std::string kml = R"(<Document><gx:CascadingStyle kml:id="cs"><Style><IconStyle><color>ff0000ff</color></IconStyle></Style></gx:CascadingStyle>
    <Placemark><styleUrl>#cs</styleUrl><description><![CDATA[<div>)" + std::string(300, 'x') + R"(</div><br>end]]></description>
      <Point><coordinates>1,1</coordinates></Point></Placemark></Document>)";
  ConversionOptions options = With(&ConversionOptions::plain_descriptions, &ConversionOptions::styles);
  options.attributes = true;
  ConvertedText out = Convert(kml, options);
  EXPECT_EQ(Records(out.mif), "Point 1 1\r\n    Symbol (35,16711680,12)\r\n\r\n\r\n");
  // The description is made plain whole, then cut to the column.
  EXPECT_EQ(out.mid, "\"\",\"" + std::string(254, 'x') + "\",\"\"\r\n");
}

TEST(FeatureExport, GaussKrugerCoordinatesAreProjectedToMillimetres) {
  std::string kml = R"(<Document><Placemark><Point><coordinates>116.39,39.9,0</coordinates></Point></Placemark>
    <Placemark><LineString><coordinates>116.39,39.9 121.0,41.0 abc,39.9</coordinates></LineString></Placemark>
    <Placemark><LineString><coordinates>116.39,39.9 120.0,40.0</coordinates></LineString></Placemark></Document>)";
  ConversionOptions options;
  std::string error;
  ASSERT_TRUE(ParseCoordinateSystem("gk3", &options.crs, &error));
  ConvertedText out = Convert(kml, options);
  EXPECT_EQ(out.mif,
            "Version   300\r\nCharset \"WindowsSimpChinese\"\r\nDelimiter \",\"\r\n"
            "CoordSys Earth Projection 8, 104, \"m\", 117, 0, 1, 39500000, 0 "
            // The bounds of the vertices written, a kilometre more on every side.
            "Bounds (39446833.000, 4417603.000) (39837580.000, 4549288.000)\r\n"
            "Columns 1\r\n  GOOD Char(10)\r\nData\r\n"
            "Point 39447833.664 4418603.794\r\n    Symbol (35,0,12)\r\n"
            "\r\n"
            // The vertex with a longitude that is no number is left out, and counted.
            "\r\nPline 2\r\n39447833.664 4418603.794\r\n39836579.208 4548287.969\r\n    Pen (3,2,2105599)"
            "\r\nPline 2\r\n39447833.664 4418603.794\r\n39756202.129 4433842.594\r\n    Pen (3,2,2105599)"
            "\r\n");
  EXPECT_EQ(out.report.records.left_out.no_number, 1u);
  EXPECT_EQ(out.report.far_vertices, 2u);  // 121 and 120 degrees are 4 and 3 from the central meridian
  EXPECT_EQ(out.report.zone, 39);
  // Written as objects of placemarks (with a MID file), the records and counts are the same.
  ConversionOptions with_table = options;
  with_table.attributes = true;
  const ConvertedText as_objects = Convert(kml, with_table);
  EXPECT_EQ(Records(as_objects.mif), Records(out.mif));
  EXPECT_EQ(as_objects.mif.substr(0, as_objects.mif.find("Columns")), out.mif.substr(0, out.mif.find("Columns")));
  EXPECT_EQ(as_objects.report.records.left_out.no_number, 1u);
  EXPECT_EQ(as_objects.report.far_vertices, 2u);
  ASSERT_TRUE(ParseCoordinateSystem("gk6", &options.crs, &error));
  options.crs.zone_prefix = false;
  EXPECT_NE(Convert(kml, options).mif.find("Point 447833.664 4418603.794\r\n"), std::string::npos);
  // The frame is guessed from the parts' first vertices and the file written once; when the
  // data say otherwise (most vertices in another zone, bounds of other lengths) it is written
  // again, and a sink that cannot go back gets the same file after a first reading.
  ASSERT_TRUE(ParseCoordinateSystem("gk3", &options.crs, &error));
  for (const char* last : {"120.5,40.0 121.0,40.1", "116.4,5.0"}) {
    std::string line = "<LineString><coordinates>116.39,39.9 " + std::string(last) + "</coordinates></LineString>";
    std::string decoded;
    ExportSource source = SourceOf(line, Encoding::kAnsi, &decoded);
    ConversionReport report;
    std::string mif;
    ExportWithOptions(source, options, 1, [&](std::string_view piece) { return mif.append(piece), true; },
                      [](std::string_view) { return true; }, &report);
    ConvertedText once = ConvertInMemory(source, options);
    EXPECT_EQ(once.mif, mif);
    EXPECT_EQ(once.report.zone, last[1] == '2' ? 40 : 39);
    EXPECT_NE(mif.find(last[1] == '2'
                           ? "120, 0, 1, 40500000, 0 Bounds (40190242.000, 4423669.000) (40586270.000, 4442112.000)\r\n"
                           : "117, 0, 1, 39500000, 0 Bounds (39432459.000, 551915.000) (39448834.000, 4419604.000)\r\n"),
              std::string::npos)
        << mif;
  }
  // A named datum changes only the header.
  ASSERT_TRUE(ParseCoordinateSystem("wgs84", &options.crs, &error));
  std::string plain = Convert(kml, {}).mif;
  EXPECT_EQ(Convert(kml, options).mif, plain.replace(plain.find("1, 0\r\n"), 4, "1, 104"));
}

TEST(DescriptionFields, TablesOfTwoCellRowsAndLinesOfNamesAndValues) {
  auto fields = [](std::string_view description) {
    std::string out;
    for (const DescriptionField& f : DescriptionFields(description)) out += f.name + "=" + f.value + ";";
    return out;
  };
  // A desktop GIS export: a title row of one cell, then a table in a cell, of two-cell rows.
  EXPECT_EQ(fields("<![CDATA[<html><table><tr><td colspan=\"2\">T</td></tr><tr><td><table>"
                   "<tr><td>FID</td><td>0</td></tr><tr bgcolor=\"#D4E4F3\"><td>\xC3\xFB\xB3\xC6</td><td>\xB3\xAF</td></tr>"
                   "<tr><th> <b>Type</b></th><td>&lt;Null&gt;</td></tr><tr><td>H</td><td>&nbsp;1&amp;2 </td></tr>"
                   "<tr><td>a</td><td>b</td><td>c</td></tr><tr><td></td><td>no name</td></tr>"
                   "</table></td></tr></table>]]>"),
            "FID=0;\xC3\xFB\xB3\xC6=\xB3\xAF;Type=;H=1&2;");
  // Escaped rather than in CDATA, and rows left open.
  EXPECT_EQ(fields("&lt;table&gt;&lt;tr&gt;&lt;td&gt;a&lt;td&gt;1&lt;tr&gt;&lt;td&gt;b&lt;td&gt;2"), "a=1;b=2;");
  // A table without a row of two cells gives none; so do its lines.
  EXPECT_EQ(fields("<table><tr><td>a: 1</td></tr></table>"), "");
  // Lines, parted by <br> in its forms, <p> and line breaks; a full-width colon too.
  EXPECT_EQ(fields("Station: \xBA\xA3<br>Height = 30 m<BR/>\xC0\xE0\xD0\xCD\xA3\xBA\xB5\xD8<p>URL: http://a.b/c</p>\r\n\r\nn:"),
            "Station=\xBA\xA3;Height=30 m;\xC0\xE0\xD0\xCD=\xB5\xD8;URL=http://a.b/c;n=;");
  // Any line of another form, and a sentence, give none.
  EXPECT_EQ(fields("a: 1\nVisited in May."), "");
  EXPECT_EQ(fields("The gate we all meet at: ten"), "");
  EXPECT_EQ(fields("Note. Time: 10"), "");
  // A line alone whose value reads as a sentence gives none; among other fields it is one.
  EXPECT_EQ(fields("这条路线的特点是：坡陡，弯多。"), "");
  EXPECT_EQ(fields("We met at: the gate."), "");
  EXPECT_EQ(fields("备注：坡陡，弯多。<br>类别：山路"), "备注=坡陡，弯多。;类别=山路;");
  EXPECT_EQ(fields("Height: 30.5 m"), "Height=30.5 m;");
  // A colon in a time is none of a name's.
  EXPECT_EQ(fields("Start: 08:30<br>In transit from 2015-07-31T17:30:00 to 18:00"), "");
  EXPECT_EQ(fields("Opens: 8:30<br>Closes = 17:00"), "Opens=8:30;Closes=17:00;");
  EXPECT_EQ(fields("http://example.com"), "");
  EXPECT_EQ(fields(""), "");
}

TEST(FeatureExport, DescriptionFieldsJoinTheExtendedDataColumnsAndAltitudesEachObject) {
  const std::string kml = R"(<Document>
    <Placemark><name>a</name><description>T: x
H = 9</description><MultiGeometry><Point><coordinates>1,1,5</coordinates></Point>
      <LineString><coordinates>1,1,-2.50 2,2,7 3,3</coordinates></LineString></MultiGeometry></Placemark>
    <Placemark><name>b</name><description><![CDATA[<table><tr><td>H</td><td>8</td></tr><tr><td>U</td><td>u</td></tr></table>]]></description>
      <ExtendedData><Data name="H"><value>1</value></Data></ExtendedData><Point><coordinates>2,2</coordinates></Point></Placemark>
    <Point><coordinates>3,3,1e2</coordinates></Point>
    <Placemark><name>c</name><Point><coordinates>4,4,high</coordinates></Point></Placemark></Document>)";
  ConversionOptions options = With(&ConversionOptions::description_fields, &ConversionOptions::altitude);
  ConvertedText out = Convert(kml, options);
  // The ExtendedData name first, though a description gave it first; its column takes the
  // descriptions' H.
  EXPECT_EQ(out.mif.substr(out.mif.find("Columns")),
            "Columns 8\r\n  Name Char(1)\r\n  Description Char(73)\r\n  Folder Char(1)\r\n  H Char(1)\r\n  T Char(1)\r\n"
            "  U Char(1)\r\n  AltitudeMin Float\r\n  AltitudeMax Float\r\n" + out.mif.substr(out.mif.find("Data\r\n")));
  // Points first; without --multi each object has its own altitudes.
  EXPECT_EQ(out.mid,
            "\"a\",\"T: x H = 9\",\"\",\"9\",\"x\",\"\",5,5\r\n"
            "\"b\",\"<table><tr><td>H</td><td>8</td></tr><tr><td>U</td><td>u</td></tr></table>\",\"\",\"1\",\"\",\"u\",,\r\n"
            "\"\",\"\",\"\",\"\",\"\",\"\",1e2,1e2\r\n"
            "\"c\",\"\",\"\",\"\",\"\",\"\",,\r\n"
            "\"a\",\"T: x H = 9\",\"\",\"9\",\"x\",\"\",-2.50,7\r\n");
  EXPECT_EQ(out.report.described_twice, 1u);
  EXPECT_EQ(out.report.no_altitude, 1u);
  options.multi = true;
  const std::string mid = Convert(kml, options).mid;
  EXPECT_EQ(mid.substr(0, mid.find("\r\n")), "\"a\",\"T: x H = 9\",\"\",\"9\",\"x\",\"\",-2.50,7");
}

TEST(RowSpool, GivesEachPlacemarksRecordBackInAnyOrderFromFileOrMemory) {
  KmlFeatures reading("", Encoding::kAnsi);
  reading.inline_styles.push_back({"ff0000ff", "2", "", "", "", "", ""});
  Placemark placemark;
  placemark.style_url = reading.KeepText("#s");
  const std::string long_name(256, 'n');
  for (bool in_file : {true, false}) {
    RowSpool spool(in_file);
    // Three stretches of placemarks of which every other gives a record; the second's records
    // fill several of the cursor's windows.
    uint32_t base = 0;
    std::vector<uint32_t> numbers;
    for (uint32_t count : {1, 3000, 2}) {
      std::string records;
      for (uint32_t i = 0; i < count; ++i) {
        placemark.inline_style = i == 1 ? 0 : -1;
        RowValues values;
        values.name = {long_name, 300};
        values.times[2] = {"2020", 4};
        const std::string number = std::to_string(base + 2 * i);
        values.data = {{1, {number, number.size()}}};
        values.described_twice = i == 0;
        RowSpool::AppendRecord(reading, placemark, 2 * i, values, true, records);
        numbers.push_back(base + 2 * i);
      }
      spool.AddStretch(records, {-1, static_cast<int>(count)}, base);
      base += 2 * count;
    }
    RowSpool::Cursor cursor(spool);
    RowValues values;
    RowSpool::Style style;
    for (uint32_t at : {numbers[5], numbers[4], numbers.back(), numbers[0], numbers[2000], numbers[1]}) {
      ASSERT_TRUE(cursor.At(at, &values, &style)) << at;
      EXPECT_EQ(values.name.text, long_name);
      EXPECT_EQ(values.name.size, 300u);
      EXPECT_EQ(values.description.text, "");
      EXPECT_EQ(values.times[2].text, "2020");
      ASSERT_EQ(values.data.size(), 1u);
      EXPECT_EQ(values.data[0].second.text, std::to_string(at));
      EXPECT_EQ(style.url, "#s");
      const bool first_of_stretch = at == numbers[0] || at == numbers[1] || at == numbers[3001];
      EXPECT_EQ(values.described_twice, first_of_stretch);
      EXPECT_EQ(style.own, at == numbers[2] || at == numbers.back());
    }
    // The document's field of each stretch's own.
    ASSERT_TRUE(cursor.At(numbers[0], &values, &style));
    EXPECT_EQ(values.data[0].first, 1);
    ASSERT_TRUE(cursor.At(numbers[3], &values, &style));
    EXPECT_EQ(values.data[0].first, 3000);
    ASSERT_TRUE(cursor.At(numbers[2], &values, &style));
    EXPECT_EQ(style.style.line_color, "ff0000ff");
    // A placemark that gave no record, and one past the last.
    EXPECT_FALSE(cursor.At(numbers[7] + 1, &values, &style));
    EXPECT_FALSE(cursor.At(base, &values, &style));
  }
}
