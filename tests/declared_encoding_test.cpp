#include "document/declared_encoding.h"

#include <gtest/gtest.h>

#include "document/encoding.h"

TEST(DeclaredEncoding, NamesAreReadFromTheDeclarationAtTheStart) {
  struct Case {
    const char* text;
    DeclaredEncoding declared;
  } cases[] = {
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><kml/>", DeclaredEncoding::kUtf8},
      {"\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8'?>", DeclaredEncoding::kUtf8},
      {"\r\n<?xml version=\"1.0\" encoding = \"gb2312\" ?>", DeclaredEncoding::kGbk},
      {"<?xml version=\"1.0\" encoding=\"GB18030\"?>", DeclaredEncoding::kGbk},
      {"<?xml version=\"1.0\" encoding=\"cp936\"?>", DeclaredEncoding::kGbk},
      {"<?xml version=\"1.0\" encoding=\"UTF-16\"?>", DeclaredEncoding::kUtf16},
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", DeclaredEncoding::kOther},
      {"<?xml version=\"1.0\"?><name encoding=\"GBK\"/>", DeclaredEncoding::kNone},
      {"<kml><?xml version=\"1.0\" encoding=\"GBK\"?>", DeclaredEncoding::kNone},
      {"<?xml-stylesheet encoding=\"GBK\"?>", DeclaredEncoding::kNone},
      {"<?xml version=\"1.0\" encoding=\"GBK", DeclaredEncoding::kNone},
      {"", DeclaredEncoding::kNone},
  };
  for (const Case& c : cases) EXPECT_EQ(DeclaredEncodingOf(c.text), c.declared) << c.text;
}

TEST(DeclaredEncoding, AFileDeclaringGbkIsReadAsGbkWhateverIsChosen) {
  const std::string gbk = "<?xml version=\"1.0\" encoding=\"GBK\"?><name>\xD6\xD0</name>";
  EXPECT_EQ(ReadingEncoding(gbk, Encoding::kUtf8), Encoding::kAnsi);
  EXPECT_EQ(ReadingEncoding("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", Encoding::kAnsi), Encoding::kAnsi);
  EXPECT_EQ(ReadingEncoding("<kml/>", Encoding::kUtf8), Encoding::kUtf8);
  // A byte-order mark says UTF-8 louder than a declaration can.
  EXPECT_EQ(ReadingEncoding("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"GBK\"?>", Encoding::kUtf8), Encoding::kUtf8);
}

TEST(DeclaredEncoding, SavedBytesNeverContradictTheDeclaration) {
  const std::string name = "<name>\xB1\xB1\xBE\xA9?</name>";        // 北京 and a mended character
  const std::string utf8_name = "<name>\xE5\x8C\x97\xE4\xBA\xAC?</name>";
  struct Case {
    std::string text;
    Encoding read_as;
    std::string saved;
  } cases[] = {
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + name, Encoding::kAnsi,
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + utf8_name},
      {"<?xml version=\"1.0\" encoding=\"utf-16\"?>" + name, Encoding::kAnsi,
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + utf8_name},
      {"<?xml version=\"1.0\" encoding='windows-1252'?>" + name, Encoding::kAnsi,
       "<?xml version=\"1.0\" encoding='UTF-8'?>" + utf8_name},
      {"<?xml version=\"1.0\" encoding=\"GB2312\"?>" + name, Encoding::kUtf8,
       "<?xml version=\"1.0\" encoding=\"GB2312\"?>" + name},
      {"<?xml version=\"1.0\"?>" + name, Encoding::kUtf8, "<?xml version=\"1.0\"?>" + utf8_name},
      {name, Encoding::kAnsi, name},
      {"", Encoding::kUtf8, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(BytesToSave(c.text, c.read_as), c.saved) << c.text;
}

TEST(AnsiToUtf8, ReadsGbkAsCodePage936Does) {
  EXPECT_EQ(AnsiToUtf8("a\xD6\xD0\xCE\xC4\x80"), "a\xE4\xB8\xAD\xE6\x96\x87\xE2\x82\xAC");  // a中文€
  EXPECT_EQ(AnsiToUtf8("\xA8\xA6"), "\xC3\xA9");  // é
  EXPECT_EQ(AnsiToUtf8("\xD6 x\xD6"), "? x?");    // lead bytes without their trail bytes
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8("<\xB1\xB1\xBE\xA9>")), "<\xB1\xB1\xBE\xA9>");
}
