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
  const std::string gbk_name = "<name>\xB1\xB1\xBE\xA9?</name>";        // 北京 and a mended character
  const std::string name = "<name>\xE5\x8C\x97\xE4\xBA\xAC?</name>";   // the same in UTF-8
  const DocumentForm gbk{Encoding::kAnsi}, utf8{Encoding::kUtf8};
  struct Case {
    std::string text;
    DocumentForm form;
    std::string saved;
  } cases[] = {
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + name, gbk, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + name},
      {"<?xml version=\"1.0\" encoding=\"utf-16\"?>" + name, gbk, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + name},
      {"<?xml version=\"1.0\" encoding='windows-1252'?>" + name, gbk, "<?xml version=\"1.0\" encoding='UTF-8'?>" + name},
      {"<?xml version=\"1.0\" encoding=\"GB2312\"?>" + name, utf8, "<?xml version=\"1.0\" encoding=\"GB2312\"?>" + gbk_name},
      {"<?xml version=\"1.0\"?>" + name, utf8, "<?xml version=\"1.0\"?>" + name},
      {name, gbk, gbk_name},
      {"", utf8, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(BytesToSave(c.text, c.form), c.saved) << c.text;
}

TEST(DeclaredEncoding, AFileOpenedAndSavedUnchangedIsTheFileThatWasOpened) {
  // Whatever its characters (an emoji GBK lacks), its byte-order mark and its encoding.
  const std::string emoji = "\xF0\x9F\x98\x80", chinese = "\xE4\xB8\xAD";
  const std::string utf16_le = Utf8ToUtf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?><name>" + emoji + chinese + "</name>", false);
  for (const std::string& file : {"<kml><name>" + emoji + chinese + "</name></kml>",
                                  "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?><name>" + emoji + "</name>", utf16_le,
                                  Utf8ToUtf16("<name>" + emoji + "</name>", true)}) {
    const DocumentForm form = FormOf(file, ReadingEncoding(file, Encoding::kUtf8));
    std::string text = form.utf16 ? Utf16ToUtf8(file) : file.substr(form.utf8_mark ? 3 : 0);
    EXPECT_EQ(CharactersGbkLacks(text), 1u);
    EXPECT_EQ(BytesToSave(text, form), file);
  }
  const std::string gbk = "<?xml version=\"1.0\" encoding=\"GBK\"?><name>\xD6\xD0</name>";
  EXPECT_EQ(BytesToSave(AnsiToUtf8(gbk), FormOf(gbk, ReadingEncoding(gbk, Encoding::kUtf8))), gbk);
}

TEST(DeclaredEncoding, AnUndeclaredGbkFileIsReadAsGbkWhereUtf8WouldBeInvalid) {
  bool read_as_gbk = false;
  const std::string gbk = "<kml><name>\xB1\xB1\xBE\xA9</name></kml>";
  EXPECT_EQ(ReadingEncoding(gbk, Encoding::kUtf8, &read_as_gbk), Encoding::kAnsi);
  EXPECT_TRUE(read_as_gbk);
  // Valid UTF-8 stays UTF-8; bytes that are neither, and the ANSI choice, are as they were.
  for (const std::string& other : {std::string("<name>\xE5\x8C\x97</name>"), std::string("<name>\xFF\xFE\xFF</name>x"),
                                   std::string("<name>\xB1</name>")}) {
    EXPECT_EQ(ReadingEncoding(other, Encoding::kUtf8, &read_as_gbk), Encoding::kUtf8) << other;
    EXPECT_FALSE(read_as_gbk);
  }
  EXPECT_EQ(ReadingEncoding(gbk, Encoding::kUtf8), Encoding::kUtf8);  // not asked to look
}

TEST(AnsiToUtf8, ReadsGbkAsCodePage936Does) {
  EXPECT_EQ(AnsiToUtf8("a\xD6\xD0\xCE\xC4\x80"), "a\xE4\xB8\xAD\xE6\x96\x87\xE2\x82\xAC");  // a中文€
  EXPECT_EQ(AnsiToUtf8("\xA8\xA6"), "\xC3\xA9");  // é
  EXPECT_EQ(AnsiToUtf8("\xD6 x\xD6"), "? x?");    // lead bytes without their trail bytes
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8("<\xB1\xB1\xBE\xA9>")), "<\xB1\xB1\xBE\xA9>");
}
