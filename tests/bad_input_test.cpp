// Inputs that are not what a KML file should be: each gives a defined result, and none takes
// long (the limits of the engine are what keep the pattern cases short).
#include <gtest/gtest.h>

#include <ctime>

#include "document/encoding.h"
#include "document/text_io.h"
#include "mif/analysis.h"
#include "mif/mif_export.h"
#include "tags/tag_index.h"
#include "tests/test_support.h"

namespace {

std::string Mif(const std::string& document) {
  GeometryState state;
  return BuildMifText(state, MakeDocument(document));
}

const std::string kEmptyMif =
    "Version   300\r\nCharset \"WindowsSimpChinese\"\r\nDelimiter \",\"\r\n"
    "CoordSys Earth Projection 1, 0\r\nColumns 1\r\n  GOOD Char(10)\r\nData\r\n\r\n\r\n";

// Time limits allow for the sanitizers' slowdown.
#ifdef GEOVANT_SANITIZED
constexpr double kSlowdown = 5;
#else
constexpr double kSlowdown = 1;
#endif

// Processor time: <chrono> cannot be compiled with the GBK charset (it holds a micro sign).
class Stopwatch {
 public:
  double Seconds() const { return static_cast<double>(std::clock() - start_) / CLOCKS_PER_SEC; }

 private:
  std::clock_t start_ = std::clock();
};

}  // namespace

TEST(BadInput, EmptyGarbageAndBrokenTextGiveTheHeaderOrWhatIsComplete) {
  EXPECT_EQ(Mif(DecodeDocument("", Encoding::kUtf8)), kEmptyMif);
  std::string garbage;
  for (int i = 0; i < 100000; ++i) garbage += static_cast<char>((i * 7919) % 256);
  EXPECT_EQ(Mif(DecodeDocument(garbage, Encoding::kUtf8)), kEmptyMif);
  EXPECT_EQ(Mif(DecodeDocument(garbage, Encoding::kAnsi)), kEmptyMif);

  // A NUL byte ends the text: the point after it is not read.
  std::string with_nul("<Point><coordinates>1,2</coordinates></Point>\0<Point><coordinates>3,4</coordinates></Point>", 91);
  EXPECT_EQ(Mif(DecodeDocument(with_nul, Encoding::kUtf8)), kEmptyMif.substr(0, 126) + "Point 1 2\r\n    Symbol (35,0,12)\r\n\r\n\r\n");

  // A file cut short keeps the records that were complete.
  std::string truncated = GenerateKml(3, 4);
  truncated.resize(truncated.rfind("<LinearRing>") + 40);
  GeometryState state;
  DocumentText doc = MakeDocument(truncated);
  EXPECT_EQ(Analyse(state, GeometryKind::kPolygon, doc).count, 2u);
  EXPECT_EQ(Analyse(state, GeometryKind::kPoint, doc).count, 3u);
}

TEST(BadInput, InvalidUtf8AndGbkReadAsUtf8KeepTheAsciiAndTheGeometry) {
  std::string gbk_name = "<name>\xB1\xB1\xBE\xA9</name><Point><coordinates>116.1,39.9</coordinates></Point>";
  std::string text = DecodeDocument(gbk_name, Encoding::kUtf8);
  EXPECT_EQ(text, "<name>" + std::string(4, '?') + "</name><Point><coordinates>116.1,39.9</coordinates></Point>");
  EXPECT_NE(Mif(text).find("Point 116.1 39.9\r\n"), std::string::npos);
  // A broken sequence inside the coordinates takes only its own bytes.
  EXPECT_EQ(DecodeDocument("1\xE4,2", Encoding::kUtf8), "1?,2");
}

TEST(BadInput, FiveMegabyteElementAndAMillionElements) {
  std::string big = "<LineString><coordinates>";
  int tuples = 0;
  while (big.size() < 5'000'000) {
    big += "116.123456,39.123456,0 ";
    ++tuples;
  }
  big += "</coordinates></LineString>";
  Stopwatch one_element;
  std::string mif = Mif(big);
  EXPECT_NE(mif.find("Pline " + std::to_string(tuples) + "\r\n"), std::string::npos);
  EXPECT_LT(one_element.Seconds(), 5.0 * kSlowdown);

  std::string many;
  many.reserve(1'000'000 * 45);
  for (int i = 0; i < 1'000'000; ++i) many += "<Point><coordinates>1,2</coordinates></Point>";
  Stopwatch million;
  GeometryState state;
  EXPECT_EQ(Analyse(state, GeometryKind::kPoint, MakeDocument(many)).count, 1'000'000u);
  EXPECT_EQ(Mif(many).size(), 130u + 1'000'000u * 33u);
  EXPECT_LT(million.Seconds(), 10.0 * kSlowdown);
}

TEST(BadInput, ItemTextsThatBreakOrExplodePatternsEndInSeconds) {
  std::string document;
  size_t units = 0;
  for (; document.size() < 2'000'000; ++units) document += "<" + std::string(30, 'a') + "c> <b x=\"(\">[</b> ";
  for (const char* item : {"<(a+)+b>", "<(a*)*b>", "<(a|aa)+b x=\"1\">", "<b x=\"(\">", "<b [>",
                           "<b x=\")\">", "<a{2,1}>", "<\\>", "<(?<n>a)>"}) {
    Stopwatch search;
    std::string result = ExtractElements(item, document);
    EXPECT_LT(search.Seconds(), 10.0 * kSlowdown) << item;
    EXPECT_LE(result.size(), 5 * document.size()) << item;
  }
  Pattern tag_pattern;
  tag_pattern.Compile(kTagPattern);
  EXPECT_EQ(BuildTagIndex(tag_pattern, document).size(), 2 * units);
}
