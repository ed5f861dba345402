#include "app/text_model.h"

#include <gtest/gtest.h>

namespace {

// The lines of a model as texts, from its index.
std::vector<std::u16string> Lines(const TextModel& model) {
  std::vector<std::u16string> lines;
  for (size_t i = 0; i < model.line_count(); ++i) {
    lines.push_back(model.text().substr(model.LineStart(i), model.LineEnd(i) - model.LineStart(i)));
  }
  return lines;
}

}  // namespace

TEST(TextModel, KeepsItsLineIndexThroughChangesAndUndo) {
  TextModel model;
  model.SetText(u"one\r\ntwo\nthree");
  EXPECT_EQ(Lines(model), (std::vector<std::u16string>{u"one", u"two", u"three"}));
  EXPECT_EQ(model.LineOf(5), 1u);
  model.Replace(2, 7, u"X\nY\r\nZ");  // "onX\nY\r\nZo\nthree"
  EXPECT_EQ(Lines(model), (std::vector<std::u16string>{u"onX", u"Y", u"Zo", u"three"}));
  model.Replace(model.size(), model.size(), u"!", /*continues=*/true);
  model.Replace(model.size(), model.size(), u"\r\n", /*continues=*/true);
  EXPECT_EQ(Lines(model), (std::vector<std::u16string>{u"onX", u"Y", u"Zo", u"three!", u""}));
  size_t begin, end;
  ASSERT_TRUE(model.Undo(&begin, &end));  // the run of typing goes as one
  EXPECT_EQ(model.text(), u"onX\nY\r\nZo\nthree");
  EXPECT_EQ(begin, end);
  ASSERT_TRUE(model.Undo(&begin, &end));  // a second undo puts it back
  EXPECT_EQ(model.text(), u"onX\nY\r\nZo\nthree!\r\n");
  EXPECT_EQ(end - begin, 3u);
}

TEST(TextModel, LinesWrapAfterTheirLastBlankThatFits) {
  auto one = [](char16_t c, int x) { return c == u'\t' ? 4 - x % 4 : 1; };
  EXPECT_EQ(WrapLine(u"", 5, one), std::vector<size_t>{0});
  EXPECT_EQ(WrapLine(u"aaa bbb ccc", 6, one), (std::vector<size_t>{0, 4, 8}));
  EXPECT_EQ(WrapLine(u"abcdefghij", 4, one), (std::vector<size_t>{0, 4, 8}));  // no blank: cut where it is full
  EXPECT_EQ(WrapLine(u"ab    cd", 4, one), (std::vector<size_t>{0, 6}));       // blanks hang at the end of a row
  EXPECT_EQ(WrapLine(u"a\tb\tc", 8, one), (std::vector<size_t>{0, 4}));        // a tab reaches the next stop
  EXPECT_EQ(WrapLine(u"xyz", 0, one), (std::vector<size_t>{0, 1, 2}));         // one character a row at least
  // Tuples separated by a CR of no line end, a form feed or a vertical tab break there, never
  // inside a number.
  EXPECT_EQ(WrapLine(u"116.39,39.05,0\r116.40,39.06,0\f1.5,2.5\v3.5,4.5", 14, one), (std::vector<size_t>{0, 15, 30, 38}));
}
