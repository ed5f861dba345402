#include "document/encoding.h"

#include <gtest/gtest.h>

#include "document/encoding_internal.h"
#include "document/text_io.h"

TEST(Utf8ToAnsi, ConvertsChineseToGbk) {
  EXPECT_EQ(Utf8ToAnsi("\xE4\xB8\xAD\xE6\x96\x87"), "\xD6\xD0\xCE\xC4");  // 中文
  EXPECT_EQ(Utf8ToAnsi("<name>\xE5\x8C\x97\xE4\xBA\xAC</name>"), "<name>\xB1\xB1\xBE\xA9</name>");
  EXPECT_EQ(Utf8ToAnsi("\xE2\x82\xAC"), "\x80");  // the euro sign of code page 936
  EXPECT_EQ(Utf8ToAnsi(""), "");
  EXPECT_EQ(Utf8ToAnsi("a\r\nb\n"), "a\r\nb\n");
}

TEST(Utf8ToAnsi, LastCharacterWithoutLineBreakIsKept) {
  EXPECT_EQ(Utf8ToAnsi("x\xE6\x96\x87"), "x\xCE\xC4");
}

TEST(Utf8ToAnsi, DropsOneLeadingByteOrderMark) {
  EXPECT_EQ(Utf8ToAnsi("\xEF\xBB\xBF<?xml?>"), "<?xml?>");
  EXPECT_EQ(Utf8ToAnsi("\xEF\xBB\xBF\xEF\xBB\xBF<"), "?<");
  EXPECT_EQ(Utf8ToAnsi("a\xEF\xBB\xBF"), "a?");
}

TEST(Utf8ToAnsi, EndsAtTheFirstZeroByte) {
  EXPECT_EQ(Utf8ToAnsi(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(BytesAsAnsiText(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(BytesAsAnsiText("\xEF\xBB\xBF" "a"), "\xEF\xBB\xBF" "a");
}

TEST(Utf8ToAnsi, InvalidSequencesAndMissingCharactersBecomeQuestionMarks) {
  struct Case {
    std::string utf8;
    std::string ansi;
  } cases[] = {
      {"a\xFF" "b", "a?b"},
      {"\xC0\xAF", "??"},                   // overlong: two bytes that start nothing
      {"\xE4\xB8" "a", "?a"},
      {"\xF0\x9F\x98\x80", "?"},            // an emoji: valid, not in GBK, one character
#ifndef _WIN32
      // How many U+FFFD these give is the system converter's choice; ours follows Unicode's
      // advice of one per maximal subpart.
      {"\xE4\xB8", "?"},
      {"\xED\xA0\x80", "???"},              // a surrogate is no character
      {"\xF4\x90\x80\x80", "????"},         // above U+10FFFF
#endif
      {"\xC3\xA9t\xC3\xA9", "\xA8\xA6t\xA8\xA6"},  // é is in GBK
      {"\xE0\xB8\x81", "?"},                // Thai: not in GBK
      {"\xD6\xD0\xCE\xC4", "????"},         // GBK bytes read as UTF-8
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi) << c.utf8;
}

TEST(Utf8ToAnsi, LongMixedTextConvertsAcrossChunks) {
  std::string utf8, gbk;
  for (int i = 0; i < 5000; ++i) {
    utf8 += "<name>\xE4\xB8\xAD\xF0\x9F\x98\x80</name>\n";
    gbk += "<name>\xD6\xD0?</name>\n";
  }
  EXPECT_TRUE(Utf8ToAnsi(utf8) == gbk);
  std::string chinese, chinese_gbk;
  for (int i = 0; i < 10000; ++i) {
    chinese += "\xE4\xB8\xAD";
    chinese_gbk += "\xD6\xD0";
  }
  EXPECT_TRUE(Utf8ToAnsi(chinese) == chinese_gbk);
}

TEST(WideToAnsi, ConvertsUpToTheFirstNul) {
  EXPECT_EQ(WideToAnsi(u"\u4E2D\u6587"), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(WideToAnsi(std::u16string(u"ab\0cd", 5)), "ab");
  EXPECT_EQ(WideToAnsi(u"\U0001F600x"), "?x");
  EXPECT_EQ(WideToAnsi(std::u16string(1, char16_t(0xD800)) + u"x"), "?x");
  EXPECT_EQ(WideToAnsi(u""), "");
}

TEST(DocumentText, BrokenDoubleByteCharactersBecomeQuestionMarks) {
  struct Case {
    std::string bytes;
    std::string text;
  } cases[] = {
      {"\xD6\xD0<a>", "\xD6\xD0<a>"},       // a whole character stays
      {"\x81\x40\x81\x7E\xFE\xFE", "\x81\x40\x81\x7E\xFE\xFE"},
      {"\x81 <a>", "? <a>"},                // the byte after a broken lead is read on its own
      {"a\xD6", "a?"},                      // a lead byte at the end
      {"\x81\x7F\x81\xFF", "?\x7F?\xFF"},
      {"\xD6\xD6\xD0", "\xD6\xD6?"},        // the second byte is a trail: the pair is whole
      {"\x80\xFF<", "\x80\xFF<"},           // neither leads anything
      {"\xEF\xBB\xBF<kml>", "\xEF\xBB?<kml>"},  // a UTF-8 mark read as ANSI
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeDocument(c.bytes, Encoding::kAnsi), c.text) << c.bytes;
    EXPECT_EQ(BytesAsAnsiText(c.bytes), c.text) << c.bytes;
  }
}

TEST(DocumentText, Utf16FilesAreDecodedWhateverTheEncoding) {
  const std::string little("\xFF\xFE<\0a\0>\0\x2D\x4E\0\0x\0", 14);  // "<a>中", NUL, "x"
  const std::string big("\xFE\xFF\0<\0a\0>\x4E\x2D\0", 11);          // "<a>中" and an odd byte
  for (Encoding encoding : {Encoding::kAnsi, Encoding::kUtf8}) {
    EXPECT_EQ(DecodeDocument(little, encoding), "<a>\xD6\xD0");
    EXPECT_EQ(DecodeDocument(big, encoding), "<a>\xD6\xD0");
  }
}

TEST(Utf8ToAnsi, ConvertsInPiecesAsInOneGo) {
  std::string utf8 = "\xEF\xBB\xBF";
  for (int i = 0; i < 300; ++i) utf8 += "<a>\xE4\xB8\xAD\xF0\x9F\x98\x80\xC3\xA9\xFF\xE4\xB8 x</a>\n";
  std::string whole = Utf8TextToAnsi(utf8, 3, kConversionPiece);
  for (size_t piece : {4, 5, 7, 64}) EXPECT_TRUE(Utf8TextToAnsi(utf8, 3, piece) == whole) << piece;
  std::u16string wide;
  for (int i = 0; i < 300; ++i) wide += u"\u4E2D\U0001F600x";
  EXPECT_TRUE(WideToAnsi(wide, 3) == WideToAnsi(wide));
}
