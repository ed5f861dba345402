#include "mif/pattern.h"

#include <gtest/gtest.h>

TEST(Pattern, FindsNonOverlappingMatchesInDocumentOrder) {
  Pattern p;
  ASSERT_TRUE(p.Compile("<a>(.*?)</a>"));
  auto m = p.FindAll("<a>1</a><a>2</a>");
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].whole, "<a>1</a>");
  EXPECT_EQ(m[1].group, "2");
}
