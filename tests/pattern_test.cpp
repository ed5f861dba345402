#include "mif/pattern.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/test_support.h"

namespace {

using Found = std::vector<std::pair<std::string, std::string>>;

Found Texts(const std::vector<ElementMatch>& matches) {
  Found out;
  for (const ElementMatch& m : matches) out.emplace_back(m.whole, m.group);
  return out;
}

// Both engines must give the same matches: the same texts at the same places.
void ExpectSameMatches(const Pattern& p, std::string_view text) {
  auto fast = p.FindAll(text);
  auto engine = p.FindAllWithEngine(text);
  ASSERT_EQ(fast.size(), engine.size()) << p.source();
  for (size_t i = 0; i < fast.size(); ++i) {
    ASSERT_EQ(fast[i].whole.data(), engine[i].whole.data()) << p.source() << " match " << i;
    ASSERT_EQ(fast[i].whole.size(), engine[i].whole.size()) << p.source() << " match " << i;
    ASSERT_EQ(fast[i].group.data(), engine[i].group.data()) << p.source() << " match " << i;
    ASSERT_EQ(fast[i].group.size(), engine[i].group.size()) << p.source() << " match " << i;
  }
}

const char* const kElementNames[] = {"Point", "LineString", "LinearRing", "coordinates", "Placemark"};

const char* const kFixedPatterns[] = {
    "<Point>(.*?)</Point>",
    "<LineString>(.*?)</LineString>",
    "<LinearRing>(.*?)</LinearRing>",
    "<coordinates>(.*?)</coordinates>",
    "<Placemark>(.*?)</Placemark>",
    "<name>(.*?)</name>",
};

}  // namespace

TEST(Pattern, FindsNonOverlappingMatchesInDocumentOrder) {
  Pattern p;
  ASSERT_TRUE(p.Compile("<a>(.*?)</a>"));
  EXPECT_EQ(Texts(p.FindAll("<a>1</a><a>2</a>")), (Found{{"<a>1</a>", "1"}, {"<a>2</a>", "2"}}));
  EXPECT_EQ(Texts(p.FindAll("<a>\r\nx\n</a> <a></a>")), (Found{{"<a>\r\nx\n</a>", "\r\nx\n"}, {"<a></a>", ""}}));
  EXPECT_EQ(Texts(p.FindAll("<a>1<a>2</a>3</a>")), (Found{{"<a>1<a>2</a>", "1<a>2"}}));
  EXPECT_EQ(Texts(p.FindAll("<a>open <a>x</a>")), (Found{{"<a>open <a>x</a>", "open <a>x"}}));
  EXPECT_EQ(Texts(p.FindAll("<A>1</A>")), Found{});
}

TEST(Pattern, TakesTheFastPathOnlyForTwoPlainLiterals) {
  struct Case {
    const char* source;
    bool literal;
  } cases[] = {
      {"<Point>(.*?)</Point>", true},         {"<a x=\"1\">(.*?)</a x=\"1\">", true},
      {"<a.b>(.*?)</a.b>", false},            {"(.*?)</a>", false},
      {"<a>(.*?)", false},                    {"<a>(.*?)</a>(.*?)</b>", false},
      {"<a>(.*)</a>", false},                 {"<a\\>(.*?)</a>", false},
  };
  for (const Case& c : cases) {
    Pattern p;
    p.Compile(c.source);
    EXPECT_EQ(p.is_literal_pair(), c.literal) << c.source;
  }
  Pattern ignoring_case;
  ignoring_case.Compile("<a>(.*?)</a>", /*ignore_case=*/true);
  EXPECT_FALSE(ignoring_case.is_literal_pair());
  EXPECT_EQ(ignoring_case.FindAll("<A>1</a>").size(), 1u);
}

TEST(Pattern, Rejects) {
  for (const char* source : {"<a x=\"(\">(.*?)</a>", "[", "a{2,1}", "(?<", "\\", "*a"}) {
    Pattern p;
    EXPECT_FALSE(p.Compile(source)) << source;
    EXPECT_FALSE(p.ok());
    EXPECT_TRUE(p.FindAll("<a x=\"(\">1</a>").empty()) << source;
  }
  Pattern never_compiled;
  EXPECT_TRUE(never_compiled.FindAll("text").empty());
}

TEST(Pattern, NoCrash) {
  // Nested quantifiers hit the engine's complexity limit: the search ends, with what it had.
  std::string as(30000, 'a');
  for (const char* source : {"(a*)*b", "(a+)+b", "(a|aa)*c", "(.*?)*x"}) {
    Pattern p;
    ASSERT_TRUE(p.Compile(source)) << source;
    EXPECT_TRUE(p.FindAll(as).empty()) << source;
  }
  // A 5 MB element through both engines.
  std::string big = "<LineString><coordinates>";
  while (big.size() < 5'000'000) big += "116.123456,39.123456,0 ";
  big += "</coordinates></LineString>";
  Pattern p;
  p.Compile("<LineString>(.*?)</LineString>");
  ExpectSameMatches(p, big);
  Pattern general;
  general.Compile("<LineString>(.*?)</LineString[>]");
  EXPECT_EQ(general.FindAll(big).size(), 1u);
}

TEST(PatternDifferential, FastPathMatchesTheEngineOnTheCorpus) {
  for (const auto& file : CorpusFiles()) {
    std::string text = ReadFileBytes(file);
    for (const char* source : kFixedPatterns) {
      Pattern p;
      ASSERT_TRUE(p.Compile(source));
      ASSERT_TRUE(p.is_literal_pair());
      SCOPED_TRACE(file.filename().string());
      ExpectSameMatches(p, text);
    }
    for (const char* name : kElementNames) {
      Pattern p;
      ASSERT_TRUE(p.CompileElement(name));
      SCOPED_TRACE(file.filename().string());
      ExpectSameMatches(p, text);
    }
    Pattern tags;
    ASSERT_TRUE(tags.Compile("<[^<]*>"));
    ExpectSameMatches(tags, text);
  }
}

TEST(PatternDifferential, FastPathMatchesTheEngineOnGeneratedText) {
  // Short literals over a small alphabet give overlapping, nested and unclosed elements.
  std::mt19937 random(7);
  const std::string alphabet = "<>/ab\r\n ";
  const char* const sources[] = {"<a>(.*?)</a>", "a(.*?)a", "aa(.*?)ab", "<(.*?)>", "ab(.*?)b", "<a>(.*?)</b>",
                                 "<[^<]*>"};
  for (int round = 0; round < 3000; ++round) {
    std::string text(random() % 64, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    for (const char* source : sources) {
      Pattern p;
      ASSERT_TRUE(p.Compile(source));
      ExpectSameMatches(p, text);
    }
  }
  // Element tags from pieces of tags: prefixes, attributes, blanks, self-closing and unclosed.
  const char* const pieces[] = {"<", "</", ">", "/>", " ", "\n", "Pt", "Pts", "k:", "a:b:", "x=\"/\"", "a", "<Pt>", "</Pt>"};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (int n = static_cast<int>(random() % 24); n > 0; --n) text += pieces[random() % std::size(pieces)];
    Pattern p;
    ASSERT_TRUE(p.CompileElement("Pt"));
    ExpectSameMatches(p, text);
  }
  std::string kml = GenerateKml(50, 20);
  for (const char* source : kFixedPatterns) {
    Pattern p;
    p.Compile(source);
    ExpectSameMatches(p, kml);
  }
}
