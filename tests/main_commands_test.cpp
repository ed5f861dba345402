#include "app/main_commands.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/fake_main_view.h"
#include "tests/test_support.h"
#include "tests/zip_writer.h"

namespace {

const std::string kKml =
    "<kml><Placemark><name>\xE4\xB8\xAD</name><Point><coordinates>116.1,39.9,0</coordinates></Point>"
    "</Placemark><Placemark><LineString><coordinates>1,2 3,4</coordinates></LineString></Placemark></kml>";

class Commands : public ::testing::Test {
 protected:
  Commands() : commands_(view_, geometry_) { commands_.OnCreated(); }

  std::string Path(const std::string& name) { return (dir_ / name).string(); }

  ScopedTempDir dir_;
  FakeMainView view_;
  GeometryState geometry_;
  MainCommands commands_;
};

}  // namespace

TEST_F(Commands, StartsWithTheUtf8ChoiceAndTheDesignedDialogs) {
  EXPECT_TRUE(view_.IsChecked(Control::单选框6));
  EXPECT_FALSE(view_.IsChecked(Control::单选框5));
  EXPECT_EQ(commands_.通用对话框1.filter, "KML文件|*.kml");
  EXPECT_EQ(commands_.通用对话框1.file_name, "");
  EXPECT_EQ(commands_.通用对话框2.filter, "");
}

TEST_F(Commands, OpenButtonConvertsUtf8AndBuildsTheTagList) {
  WriteFileBytes(dir_ / "a.kml", "\xEF\xBB\xBF" + kKml);
  view_.answers.push_back({true, Path("a.kml")});
  commands_.OnOpenButton();
  EXPECT_EQ(view_.Text(Control::编辑框1).substr(0, 31), "<kml><Placemark><name>\xD6\xD0</name>");
  EXPECT_EQ(view_.items[Control::列表框2],
            (std::vector<std::string>{"<kml>", "<Placemark>", "<name>", "<Point>", "<coordinates>",
                                      "<Placemark>", "<LineString>", "<coordinates>"}));
  EXPECT_EQ(commands_.通用对话框1.file_name, Path("a.kml"));
  EXPECT_EQ(view_.shown_dialogs.at(0).kind, FileDialog::Kind::kOpen);
  EXPECT_TRUE(view_.messages.empty());
}

TEST_F(Commands, KmzArchivesOpenAsTheirKmlAndSaveBesideThem) {
  WriteFileBytes(dir_ / "a.kmz", MakeZip({{"doc.kml", kKml}}));
  WriteFileBytes(dir_ / "b.kmz", MakeZip({{"doc.kml", kKml, true, false, 0, -1, -1, 1}}));  // a wrong CRC
  view_.answers.push_back({true, Path("a.kmz")});
  commands_.OnOpenButton();
  EXPECT_EQ(view_.shown_dialogs.at(0).filter, "KML文件|*.kml|KMZ文件|*.kmz");
  EXPECT_EQ(commands_.通用对话框1.filter, "KML文件|*.kml");
  EXPECT_EQ(view_.Text(Control::编辑框1).substr(0, 31), "<kml><Placemark><name>\xD6\xD0</name>");
  EXPECT_EQ(view_.items[Control::列表框2].size(), 8u);
  commands_.OnSave();  // cancelled
  EXPECT_EQ(view_.shown_dialogs.back().file_name, Path("a.kml"));
  view_.answers.push_back({true, Path("b.kmz")});
  commands_.OnOpenMenu();
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, ReadErrorMessage(Path("b.kmz"), "KMZ 压缩包中的 KML 文件已损坏（CRC 校验不符）。"));
  EXPECT_EQ(view_.Text(Control::编辑框1).substr(0, 5), "<kml>");
}

TEST_F(Commands, OpenButtonWithAnsiTakesTheBytes) {
  const std::string gbk = "<kml><name>\xD6\xD0</name></kml>";
  WriteFileBytes(dir_ / "a.kml", gbk);
  view_.SetChecked(Control::单选框5, true);
  view_.SetChecked(Control::单选框6, false);
  view_.answers.push_back({true, Path("a.kml")});
  commands_.OnOpenButton();
  EXPECT_EQ(view_.Text(Control::编辑框1), gbk);
}

TEST_F(Commands, CancelledOpenKeepsTheDocumentAndTheTags) {
  view_.SetText(Control::编辑框1, "unsaved work");
  view_.items[Control::列表框2] = {"<old>"};
  commands_.OnOpenButton();
  commands_.OnOpenMenu();
  EXPECT_EQ(view_.Text(Control::编辑框1), "unsaved work");
  EXPECT_EQ(view_.items[Control::列表框2], std::vector<std::string>{"<old>"});
}

TEST_F(Commands, UnreadableFileSaysWhyAndKeepsTheDocumentAndTheTags) {
  view_.SetText(Control::编辑框1, "unsaved work");
  view_.items[Control::列表框2] = {"<old>"};
  view_.answers.push_back({true, Path("missing.kml")});
  commands_.OnOpenButton();
  view_.answers.push_back({true, Path("missing.kml")});
  commands_.OnOpenMenu();
  ASSERT_EQ(view_.messages.size(), 2u);
  EXPECT_EQ(view_.messages[0].text, ReadErrorMessage(Path("missing.kml"), "No such file or directory"));
  EXPECT_EQ(view_.messages[0].icon, MessageIcon::kError);
  EXPECT_EQ(view_.Text(Control::编辑框1), "unsaved work");
  EXPECT_EQ(view_.items[Control::列表框2], std::vector<std::string>{"<old>"});
}

TEST_F(Commands, MenuOpenReadsAnsiAndLeavesTheTagList) {
  WriteFileBytes(dir_ / "a.kml", std::string("<a>\xE4\xB8\xAD\0tail", 10));
  view_.items[Control::列表框2] = {"<old>"};
  view_.answers.push_back({true, Path("a.kml")});
  commands_.OnOpenMenu();
  EXPECT_EQ(view_.Text(Control::编辑框1), "<a>\xE4\xB8?");
  EXPECT_EQ(view_.items[Control::列表框2], std::vector<std::string>{"<old>"});
}

TEST_F(Commands, SaveAppendsKmlOnlyWhenMissingAndClearsTheName) {
  view_.SetText(Control::编辑框1, "<kml>\xD6\xD0</kml>");
  view_.answers.push_back({true, Path("a")});
  commands_.OnSave();
  view_.answers.push_back({true, Path("b.KML")});
  commands_.OnSave();
  EXPECT_EQ(ReadFileBytes(dir_ / "a.kml"), "<kml>\xD6\xD0</kml>");
  EXPECT_EQ(ReadFileBytes(dir_ / "b.KML"), "<kml>\xD6\xD0</kml>");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "b.KML.kml"));
  EXPECT_EQ(commands_.通用对话框1.file_name, "");
  EXPECT_EQ(view_.shown_dialogs.at(0).kind, FileDialog::Kind::kSave);
  EXPECT_EQ(view_.shown_dialogs.at(0).filter, "KML文件|*.kml");
}

TEST_F(Commands, TheQuestionBeforeReplacingIsAboutTheFileWritten) {
  view_.SetText(Control::编辑框1, "new");
  for (const char* name : {"a.txt", "a.txt.kml", "v1.2.mif", "roads.kml.mif"}) WriteFileBytes(dir_ / name, "old");
  view_.answers.push_back({true, Path("a.txt")});
  commands_.OnSave();  // writes a.txt.kml: asked about it, answered No
  view_.answers.push_back({true, Path("v1.2")});
  commands_.OnExportMif();
  view_.answers.push_back({true, Path("roads.kml")});
  view_.yes_no_answers = {true};
  commands_.OnExportMif();
  EXPECT_EQ(view_.questions, (std::vector<std::string>{ReplaceQuestion({Path("a.txt.kml")}) + "|保存",
                                                       ReplaceQuestion({Path("v1.2.mif")}) + "|生成MIF",
                                                       ReplaceQuestion({Path("roads.kml.mif")}) + "|生成MIF"}));
  EXPECT_EQ(ReadFileBytes(dir_ / "a.txt"), "old");
  EXPECT_EQ(ReadFileBytes(dir_ / "a.txt.kml"), "old");
  EXPECT_EQ(ReadFileBytes(dir_ / "v1.2.mif"), "old");
  EXPECT_EQ(ReadFileBytes(dir_ / "roads.kml.mif").substr(0, 7), "Version");
  // A new file needs no question; an empty document writes zero bytes.
  view_.SetText(Control::编辑框1, "");
  view_.answers.push_back({true, Path("fresh")});
  commands_.OnSaveAs();
  EXPECT_EQ(view_.questions.size(), 3u);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "fresh"));
  EXPECT_EQ(ReadFileBytes(dir_ / "fresh"), "");
}

TEST_F(Commands, SaveAsWritesTheNameAsItIsAndChangesTheOpenFilter) {
  view_.SetText(Control::编辑框1, "text");
  view_.answers.push_back({true, Path("plain")});
  commands_.OnSaveAs();
  EXPECT_EQ(ReadFileBytes(dir_ / "plain"), "text");
  commands_.OnOpenMenu();  // cancelled
  EXPECT_EQ(view_.shown_dialogs.back().kind, FileDialog::Kind::kOpen);
  EXPECT_EQ(view_.shown_dialogs.back().filter, "所有文件|*.*");
  EXPECT_EQ(view_.shown_dialogs.back().file_name, "");
}

TEST_F(Commands, SaveProposesTheOpenedPathAndCancelStillClearsIt) {
  WriteFileBytes(dir_ / "x.kml", "abc");
  view_.answers.push_back({true, Path("x.kml")});
  commands_.OnOpenMenu();
  commands_.OnSave();  // cancelled
  EXPECT_EQ(view_.shown_dialogs.back().file_name, Path("x.kml"));
  EXPECT_EQ(commands_.通用对话框1.file_name, "");
}

TEST_F(Commands, FailedSaveSaysSoAndKeepsTheOldFile) {
  WriteFileBytes(dir_ / "keep.kml", "old bytes");
  std::filesystem::create_directory(dir_ / "dir.kml");
  view_.SetText(Control::编辑框1, "new");
  view_.answers.push_back({true, Path("dir.kml")});
  commands_.OnSave();
  view_.answers.push_back({true, Path("nowhere/keep.kml")});
  commands_.OnSaveAs();
  ASSERT_EQ(view_.messages.size(), 2u);
  EXPECT_EQ(view_.messages[0].text, WriteErrorMessage(Path("dir.kml"), "Is a directory"));
  EXPECT_EQ(view_.messages[0].caption, "保存");
  EXPECT_EQ(view_.messages[1].caption, "另存为");
  EXPECT_EQ(view_.messages[1].icon, MessageIcon::kError);
  EXPECT_EQ(ReadFileBytes(dir_ / "keep.kml"), "old bytes");
}

TEST_F(Commands, AnalysisShowsTheCountThenFillsTheResultBox) {
  view_.SetText(Control::编辑框1, kKml);
  view_.SetText(Control::编辑框2, "before");
  commands_.OnAnalyse(GeometryKind::kPoint);
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, "分析完毕，共有1个离散的点");
  EXPECT_EQ(view_.messages[0].icon, MessageIcon::kNone);
  EXPECT_EQ(view_.messages[0].result_box_while_shown, "before");
  EXPECT_EQ(view_.Text(Control::编辑框2), "<Point><coordinates>116.1,39.9,0</coordinates></Point>\r\n");
  commands_.OnAnalyse(GeometryKind::kLine);
  EXPECT_EQ(view_.messages[1].text, "分析完毕，共有1条线");
  EXPECT_EQ(view_.Text(Control::编辑框2), "<coordinates>1,2 3,4</coordinates>\r\n");
  commands_.OnAnalyse(GeometryKind::kPolygon);
  EXPECT_EQ(view_.messages[2].text, "分析完毕，共有0个多边形");
  EXPECT_EQ(view_.Text(Control::编辑框2), "");
  EXPECT_EQ(view_.Text(Control::编辑框1), kKml);
}

TEST_F(Commands, ExportReportsFirstThenWritesTheMifOnce) {
  view_.SetText(Control::编辑框1, kKml);
  view_.answers.push_back({true, Path("roads.mif")});
  commands_.OnExportMif();
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, "解析完毕 ");
  EXPECT_EQ(view_.shown_dialogs.at(0).filter, "MIF文件|*.mif|MIF+MID（属性、样式、内环、轨迹）|*.mif");
  EXPECT_EQ(view_.shown_dialogs.at(0).kind, FileDialog::Kind::kSave);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "roads.mif"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "roads.mif.mif"));
  std::string first = ReadFileBytes(dir_ / "roads.mif");
  EXPECT_EQ(first.substr(126, 40), "Point 116.1 39.9\r\n    Symbol (35,0,12)\r\n");

  view_.answers.push_back({true, Path("again")});
  commands_.OnExportMif();
  EXPECT_EQ(ReadFileBytes(dir_ / "again.mif"), first);
  EXPECT_EQ(view_.shown_dialogs.at(1).file_name, "");
  EXPECT_EQ(commands_.通用对话框1.file_name, "");

  commands_.OnExportMif();  // cancelled: the message came all the same, nothing written
  EXPECT_EQ(view_.messages.size(), 3u);
  EXPECT_EQ(commands_.通用对话框2.file_name, "");
}

TEST_F(Commands, EmptyDocumentExportsTheHeaderOnlyAndCancelledSavesWriteNothing) {
  commands_.OnExportMif();
  commands_.OnSave();
  commands_.OnSaveAs();
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, "解析完毕 ");
  EXPECT_EQ(view_.messages[0].dialogs_before, 0u);
  view_.answers.push_back({true, Path("empty")});
  commands_.OnExportMif();
  EXPECT_EQ(ReadFileBytes(dir_ / "empty.mif").size(), 130u);
}

TEST_F(Commands, SelectingATagShowsTheContentsOfItsElements) {
  view_.SetText(Control::编辑框1, "<P>a</P><P>b</P>");
  view_.items[Control::列表框2] = {"<P>", "<Q/>"};
  view_.selected = 0;
  commands_.OnTagSelected();
  EXPECT_EQ(view_.Text(Control::编辑框2), "\r\na\r\n\r\nb\r\n");
  view_.selected = 1;
  commands_.OnTagSelected();
  EXPECT_EQ(view_.Text(Control::编辑框2), "");
  view_.selected = -1;
  view_.SetText(Control::编辑框2, "x");
  commands_.OnTagSelected();
  EXPECT_EQ(view_.Text(Control::编辑框2), "");
}

TEST_F(Commands, ExitClosesTheWindowWithoutAsking) {
  view_.SetText(Control::编辑框1, "unsaved");
  commands_.OnExit();
  EXPECT_TRUE(view_.closed);
  EXPECT_TRUE(view_.messages.empty());
}
