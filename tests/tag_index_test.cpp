#include "tags/tag_index.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Index(std::string_view text) {
  Pattern tag_pattern;
  EXPECT_TRUE(tag_pattern.Compile(kTagPattern, false));
  return BuildTagIndex(tag_pattern, text);
}

}  // namespace

TEST(TagIndex, ListsEveryOpeningTagInDocumentOrder) {
  EXPECT_EQ(Index("<?xml version=\"1.0\"?><kml><!-- c --><Placemark><name>a</name></Placemark>"
                  "<Placemark><Point/></Placemark></kml>"),
            (std::vector<std::string>{"<?xml version=\"1.0\"?>", "<kml>", "<!-- c -->", "<Placemark>",
                                      "<name>", "<Placemark>", "<Point/>"}));
}

TEST(TagIndex, TagsKeepTheirLineBreaksAndRunToTheLastAngleBracket) {
  EXPECT_EQ(Index("<Placemark\n  id=\"x\">a > b<name>"),
            (std::vector<std::string>{"<Placemark\n  id=\"x\">a >", "<name>"}));
  EXPECT_EQ(Index("a < b <c>"), (std::vector<std::string>{"<c>"}));
  EXPECT_EQ(Index(""), std::vector<std::string>{});
}

TEST(TagIndex, LinesWrittenOnSeveralThreadsAreTheIndexOfTheWholeText) {
  // Tags that straddle the 2 MB pieces in every way: a tag across the boundary, a ">" of the
  // last tag of a piece after it, a "<" alone before it, Chinese (GBK) in a tag.
  std::string text;
  const std::string kinds[] = {"<a>", "<b x='1'>text>", " < ", "</a>", "<\xB1\xB1\xBE\xA9>", ">>", "<c/>", "<d\n>"};
  for (size_t i = 0; text.size() < (size_t{5} << 20); ++i) text += kinds[(i * 7 + i / 3) % 8] + std::string(i % 5, 'x');
  std::string lines;
  ASSERT_TRUE(WriteTagLinesOfFile(text, Encoding::kAnsi, 2, [&](std::string_view piece) {
    lines += piece;
    return true;
  }));
  std::string expected;
  for (const std::string& item : Index(text)) expected += item + "\n";
  EXPECT_EQ(lines, expected);
}

TEST(ElementExtraction, ShowsTheContentsOfEveryElementOfTheTag) {
  std::string doc = "<Placemark>A</Placemark><x/><Placemark>\nB\n</Placemark>";
  EXPECT_EQ(ExtractElements("<Placemark>", doc), "\r\nA\r\n\r\n\nB\n\r\n");
  EXPECT_EQ(ExtractElements("<x/>", doc), "");
  EXPECT_EQ(ExtractElements("<Folder>", doc), "");
  // Nested elements of one name end at the first closing tag.
  EXPECT_EQ(ExtractElements("<F>", "<F>1<F>2</F>3</F>"), "\r\n1<F>2\r\n");
}

TEST(ElementExtraction, LookaheadGroupsShowNoMoreThanTheirElements) {
  // Each group would otherwise be the rest of the document: its square in all.
  EXPECT_EQ(ExtractElements("<a(?=(.*))>", "<a>x</a><a>y</a>"), "\r\n>x</a>\r\n\r\n>y</a>\r\n");
  std::string doc;
  for (int i = 0; i < 5000; ++i) doc += "<a>x</a>";
  EXPECT_EQ(ExtractElements("<a(?=(.*))>", doc).size(), 5000u * 10);
}

TEST(ElementExtraction, TagWithAttributesFallsBackToItsBareName) {
  std::string doc = "<Placemark id=\"p1\"><name>a</name></Placemark><Placemark>b</Placemark>";
  EXPECT_EQ(ExtractElements("<Placemark id=\"p1\">", doc),
            "<Placemark id=\"p1\"><name>a</name></Placemark>\r\n<Placemark>b</Placemark>\r\n");
  EXPECT_EQ(ExtractElements("<Placemark\nid=\"p1\">", "<Placemark\nx>1</Placemark>"),
            "<Placemark\nx>1</Placemark>\r\n");
}

TEST(ElementExtraction, RetryTakesOnlyTheWholeBareNameAndNeverForSelfClosingItems) {
  std::string doc =
      "<StyleMap id=\"m\"><Pair/></StyleMap><Style id=\"s\">A</Style><Style>B</Style>"
      "<Data name=\"a\"/><Data name=\"b\">v</Data>";
  EXPECT_EQ(ExtractElements("<Style id=\"x\">", doc),
            "<Style id=\"s\">A</Style>\r\n<Style>B</Style>\r\n");
  EXPECT_EQ(ExtractElements("<Data name=\"a\"/>", doc), "");
  EXPECT_EQ(ExtractElements("<Data name=\"c\">", doc), "<Data name=\"a\"/><Data name=\"b\">v</Data>\r\n");
}

TEST(ElementExtraction, ItemTextsThatAreNoPatternEndNormally) {
  std::string doc = "<a x=\"(\">1</a x=\"(\"><b>[</b>";
  for (const char* item : {"<a x=\"(\">", "<b [>", "<c x=\"a{2,1}\">", "(", "<", "", " ", "<a x=\"\\\">"}) {
    std::string result = ExtractElements(item, doc);
    EXPECT_LE(result.size(), doc.size() * 2) << item;
  }
  bool compiled = true;
  EXPECT_EQ(ExtractElements("<(", doc, &compiled), "");
  EXPECT_FALSE(compiled);
  ExtractElements("<b>", doc, &compiled);
  EXPECT_TRUE(compiled);
  // Metacharacters that do compile act as pattern syntax, as the item text is not escaped.
  EXPECT_EQ(ExtractElements("<a.>", "<ab>1</ab>"), "\r\n1\r\n");
}

TEST(ElementExtraction, NestedQuantifiersFromTheDocumentEndQuickly) {
  std::string doc(20000, 'a');
  doc += "<(a*)*b>";
  EXPECT_EQ(ExtractElements("<(a*)*b>", doc), "");
  EXPECT_EQ(ExtractElements("<(a+)+b c=\"1\">", doc), "");
}

TEST(ElementExtraction, PatternsOfManyGroupsSpendTheirBudgetByTheWorkDone) {
  // Every read of such a pattern passes thousands of empty groups: unbounded, 5000 elements
  // cost 40 million steps; the search stops early with what it found.
  std::string item = "<p";
  for (int i = 0; i < 4000; ++i) item += "()";
  item += ">";
  std::string doc;
  for (int i = 0; i < 5000; ++i) doc += "<p>a</p>\n";
  size_t found = ExtractElements(item, doc).size() / 4;  // "\r\n" + the empty group 1 + "\r\n"
  EXPECT_GT(found, 0u);
  EXPECT_LT(found, 5000u);
}
