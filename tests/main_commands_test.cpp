#include "app/main_commands.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "features/row_spool.h"
#include "mif/mif_export.h"
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
  EXPECT_EQ(commands_.通用对话框1.filter, Ui(u8"KML文件|*.kml"));
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
  EXPECT_EQ(view_.shown_dialogs.at(0).filter, Ui(u8"KML文件|*.kml|KMZ文件|*.kmz"));
  EXPECT_EQ(commands_.通用对话框1.filter, Ui(u8"KML文件|*.kml"));
  EXPECT_EQ(view_.Text(Control::编辑框1).substr(0, 31), "<kml><Placemark><name>\xD6\xD0</name>");
  EXPECT_EQ(view_.items[Control::列表框2].size(), 8u);
  commands_.OnSave();  // cancelled
  EXPECT_EQ(view_.shown_dialogs.back().file_name, Path("a.kml"));
  view_.answers.push_back({true, Path("b.kmz")});
  commands_.OnOpenMenu();
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, ReadErrorMessage(Path("b.kmz"), Ui(u8"KMZ 压缩包中的 KML 文件已损坏（CRC 校验不符）。")));
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
  EXPECT_EQ(view_.shown_dialogs.at(0).filter, Ui(u8"KML文件|*.kml"));
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
  EXPECT_EQ(view_.questions, (std::vector<std::string>{ReplaceQuestion({Path("a.txt.kml")}) + Ui(u8"|保存"),
                                                       ReplaceQuestion({Path("v1.2.mif")}) + Ui(u8"|生成MIF"),
                                                       ReplaceQuestion({Path("roads.kml.mif")}) + Ui(u8"|生成MIF")}));
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
  EXPECT_EQ(view_.shown_dialogs.back().filter, Ui(u8"所有文件|*.*"));
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
  EXPECT_EQ(view_.messages[0].caption, Ui(u8"保存"));
  EXPECT_EQ(view_.messages[1].caption, Ui(u8"另存为"));
  EXPECT_EQ(view_.messages[1].icon, MessageIcon::kError);
  EXPECT_EQ(ReadFileBytes(dir_ / "keep.kml"), "old bytes");
}

TEST_F(Commands, AnalysisShowsTheCountThenFillsTheResultBox) {
  view_.SetText(Control::编辑框1, kKml);
  view_.SetText(Control::编辑框2, "before");
  commands_.OnAnalyse(GeometryKind::kPoint);
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, Ui(u8"分析完毕，共有1个离散的点"));
  EXPECT_EQ(view_.messages[0].icon, MessageIcon::kNone);
  EXPECT_EQ(view_.messages[0].result_box_while_shown, "before");
  EXPECT_EQ(view_.Text(Control::编辑框2), "<Point><coordinates>116.1,39.9,0</coordinates></Point>\r\n");
  commands_.OnAnalyse(GeometryKind::kLine);
  EXPECT_EQ(view_.messages[1].text, Ui(u8"分析完毕，共有1条线"));
  EXPECT_EQ(view_.Text(Control::编辑框2), "<coordinates>1,2 3,4</coordinates>\r\n");
  commands_.OnAnalyse(GeometryKind::kPolygon);
  EXPECT_EQ(view_.messages[2].text, Ui(u8"分析完毕，共有0个多边形"));
  EXPECT_EQ(view_.Text(Control::编辑框2), "");
  EXPECT_EQ(view_.Text(Control::编辑框1), kKml);
}

TEST_F(Commands, ExportReportsFirstThenWritesTheMifOnce) {
  view_.SetText(Control::编辑框1, kKml);
  view_.answers.push_back({true, Path("roads.mif")});
  commands_.OnExportMif();
  ASSERT_EQ(view_.messages.size(), 2u);
  EXPECT_EQ(view_.messages[0].text, Ui(u8"解析完毕 "));
  // Once written, the files, their objects and their coordinate system are named.
  EXPECT_EQ(view_.messages[1].text, Ui(u8"已写入：\r\n  roads.mif\r\n文件夹：") + dir_.path().string() +
                                        Ui(u8"\r\n\r\n对象：2 个\r\n坐标系：经纬度（不标注基准面，与 MapInfo 默认相同）"));
  EXPECT_EQ(view_.messages[1].icon, MessageIcon::kInformation);
  EXPECT_EQ(view_.shown_dialogs.at(0).filter,
            Ui(u8"MIF文件|*.mif|MIF+MID（属性、样式、内环、轨迹）|*.mif|MapInfo TAB表|*.tab"));
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
  EXPECT_EQ(view_.messages.size(), 5u);
  EXPECT_EQ(commands_.通用对话框2.file_name, "");
}

TEST_F(Commands, EmptyDocumentExportsTheHeaderOnlyAndCancelledSavesWriteNothing) {
  commands_.OnExportMif();
  commands_.OnSave();
  commands_.OnSaveAs();
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, Ui(u8"解析完毕 "));
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

TEST_F(Commands, SavedBytesAgreeWithTheDeclarationAndGbkFilesOpenAsGbk) {
  const std::string utf8 = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><name>\xE5\x8C\x97\xE4\xBA\xAC</name>";
  const std::string gbk = "<?xml version=\"1.0\" encoding=\"GBK\"?><name>\xB1\xB1\xBE\xA9</name>";
  WriteFileBytes(dir_ / "utf8.kml", utf8);
  WriteFileBytes(dir_ / "gbk.kml", gbk);
  view_.answers = {{true, Path("utf8.kml")}, {true, Path("utf8-saved")}, {true, Path("gbk.kml")}, {true, Path("gbk-saved")}};
  commands_.OnOpenButton();
  EXPECT_EQ(view_.Text(Control::编辑框1), "<?xml version=\"1.0\" encoding=\"UTF-8\"?><name>\xB1\xB1\xBE\xA9</name>");
  EXPECT_EQ(view_.document_name, "utf8.kml");
  commands_.OnSave();
  EXPECT_EQ(ReadFileBytes(dir_ / "utf8-saved.kml"), utf8);
  commands_.OnOpenButton();  // the UTF8 choice, but the file says GBK
  EXPECT_EQ(view_.Text(Control::编辑框1), gbk);
  commands_.OnSave();
  EXPECT_EQ(ReadFileBytes(dir_ / "gbk-saved.kml"), gbk);
  EXPECT_EQ(view_.document_name, "gbk-saved.kml");
}

TEST_F(Commands, ExportProposesTheDocumentsNameAndRemembersTheFileType) {
  WriteFileBytes(dir_ / "roads.kml", kKml);
  view_.answers = {{true, Path("roads.kml")}, {true, "", 2}, {true, ""}};
  commands_.OnOpenButton();
  commands_.OnExportMif();
  EXPECT_EQ(view_.shown_dialogs.at(1).file_name, Path("roads.mif"));
  EXPECT_EQ(view_.shown_dialogs.at(1).title, Ui(u8"生成MIF"));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "roads.mid"));
  commands_.OnExportMif();  // the type chosen last is offered first
  EXPECT_EQ(view_.shown_dialogs.at(2).filter_index, 2);
  EXPECT_EQ(commands_.通用对话框2.file_name, "");
}

TEST_F(Commands, TheCoordinateSystemChosenOnSaveIsWrittenAndKeptForTheRun) {
  view_.SetText(Control::编辑框1, "<kml><Point><coordinates>116.39,39.9</coordinates></Point>"
                                  "<Point><coordinates>1,x</coordinates></Point></kml>");
  view_.answers = {{true, Path("gk"), 1, 3},
                   {true, Path("gk6"), 2, 4, " 20 ", true},
                   {true, Path("wrong"), 1, 3, "46"},
                   {true, Path("again"), 1},
                   {true, Path("wgs84"), 1, 1}};
  commands_.OnExportMif();
  const std::string gk = ReadFileBytes(dir_ / "gk.mif");
  EXPECT_NE(gk.find("CoordSys Earth Projection 8, 104, \"m\", 117, 0, 1, 39500000, 0 Bounds"), std::string::npos);
  EXPECT_NE(gk.find("\r\nPoint 39447833.664 4418603.794\r\n"), std::string::npos);
  // The zone the data chose is named, and the point whose coordinate is no number is left out.
  const std::string message = view_.messages.back().text;
  EXPECT_NE(message.find(Ui(u8"对象：1 个\r\n坐标系：CGCS2000 高斯-克吕格 3° 带，第 39 带（中央经线 117°，东坐标前加带号）\r\n\r\n"
                            u8"已略去 1 个坐标不是数字的顶点（第一个：“1,x”）。\r\n"
                            u8"1 个对象的顶点少于 MapInfo 的要求（点 1 个、线 2 个、面 3 个），未写入。")),
            std::string::npos)
      << message;
  commands_.OnExportMif();
  EXPECT_EQ(view_.shown_dialogs.back().coordinate_system->chosen, 3);  // the choice is offered again
  EXPECT_NE(ReadFileBytes(dir_ / "gk6.mif").find("\r\nPoint 447833.664 4418603.794\r\n"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "gk6.mid"));
  commands_.OnExportMif();
  EXPECT_EQ(view_.refused, std::vector<std::string>{Ui(u8"带号应为 25 至 45 之间的整数；留空则按数据的经度自动选择。")});
  EXPECT_FALSE(std::filesystem::exists(dir_ / "wrong.mif"));
  commands_.OnExportMif();  // the same choice as the last confirmed: zone 20 of 6 degrees
  EXPECT_NE(ReadFileBytes(dir_ / "again.mif").find("Point 447833.664 4418603.794"), std::string::npos);
  // The item WGS 84 names its datum, as convert --crs wgs84 does; the first item names none.
  commands_.OnExportMif();
  EXPECT_NE(ReadFileBytes(dir_ / "wgs84.mif").find("CoordSys Earth Projection 1, 104\r\n"), std::string::npos);
  EXPECT_EQ(view_.shown_dialogs.back().coordinate_system->items[0].caption,
            Ui(u8"经纬度（不标注基准面，与 MapInfo 默认相同）"));
}

TEST_F(Commands, AnExportThatCannotReadItsPlacemarksBackWritesNothing) {
  view_.SetText(Control::编辑框1, "<kml><Placemark><name>a</name><Point><coordinates>1,2</coordinates></Point></Placemark></kml>");
  WriteFileBytes(dir_ / "kept.mif", "old");
  view_.answers = {{true, Path("kept"), 2}};
  g_fail_spool_reads_for_testing = true;
  commands_.OnExportMif();
  g_fail_spool_reads_for_testing = false;
  EXPECT_EQ(ReadFileBytes(dir_ / "kept.mif"), "old");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "kept.mid"));
  EXPECT_EQ(view_.messages.back().text, Ui(u8"无法从临时文件读回地标的属性，没有写出文件。"));
}

TEST_F(Commands, WhatTheMifAndMidLeftOutIsToldAfterTheyAreWritten) {
  view_.SetText(Control::编辑框1, "<kml><Placemark><description>" + std::string(300, 'x') +
                                      "</description><Point><coordinates>1,2</coordinates></Point></Placemark></kml>");
  view_.answers = {{true, Path("long"), 2}};
  commands_.OnExportMif();
  ASSERT_TRUE(std::filesystem::exists(dir_ / "long.mid"));
  EXPECT_EQ(view_.messages.back().text, Ui(u8"已写入：\r\n  long.mif\r\n  long.mid\r\n文件夹：") + dir_.path().string() +
                                            Ui(u8"\r\n\r\n对象：1 个\r\n坐标系：经纬度（不标注基准面，与 MapInfo 默认相同）"
                                               u8"\r\n\r\n1 个超过 254 字节的值被截短。"));
}

TEST_F(Commands, AMifWrittenAloneTakesTheStaleMidAwayAfterAskingAboutIt) {
  view_.SetText(Control::编辑框1, kKml);
  view_.answers = {{true, Path("a"), 2}, {true, Path("a"), 1}};
  commands_.OnExportMif();
  ASSERT_TRUE(std::filesystem::exists(dir_ / "a.mid"));
  view_.yes_no_answers = {true};
  commands_.OnExportMif();
  EXPECT_EQ(view_.questions, std::vector<std::string>{ReplaceQuestion({Path("a.mif")}, Path("a.mid")) + Ui(u8"|生成MIF")});
  EXPECT_FALSE(std::filesystem::exists(dir_ / "a.mid"));
  EXPECT_EQ(ReadFileBytes(dir_ / "a.mif"), BuildMifText(geometry_, MakeDocument(kKml)));
}

TEST_F(Commands, AFailedStepOfTheMifAndMidNamesItsFileAndKeepsBothOldFiles) {
  WriteFileBytes(dir_ / "a.mif", "old");
  std::filesystem::create_directory(dir_ / "a.mid");
  view_.SetText(Control::编辑框1, kKml);
  view_.answers = {{true, Path("a"), 2}};
  view_.yes_no_answers = {true};
  commands_.OnExportMif();
  ASSERT_EQ(view_.messages.size(), 2u);
  EXPECT_EQ(view_.messages[1].text, WriteErrorMessage(Path("a.mid"), "Is a directory"));
  EXPECT_EQ(ReadFileBytes(dir_ / "a.mif"), "old");
}

TEST_F(Commands, SeveralGivenFilesAreConvertedAndTheLastOneOpens) {
  WriteFileBytes(dir_ / "a.kml", "<kml><Placemark><name>\xE4\xB8\xAD</name><Point><coordinates>116.1,39.9</coordinates>"
                                 "</Point></Placemark></kml>");
  WriteFileBytes(dir_ / "b.kml", "<kml><Point><coordinates>116.39,39.9</coordinates></Point></kml>");
  WriteFileBytes(dir_ / "note.kml", "not a kml at all");
  const std::vector<std::string> given{Path("a.kml"), Path("missing.kml"), Path("note.kml"), Path("b.kml")};
  // Cancel in the dialog of the batch's choices writes nothing.
  view_.batch_answers = {std::nullopt};
  commands_.OnFilesGiven(given);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "a.mif"));
  EXPECT_TRUE(view_.messages.empty());
  // The choices offered are those of the Save dialog; those made are used, and kept.
  BatchChoice choice = {{}, kMifWithMidType, *commands_.通用对话框2.coordinate_system};
  choice.coordinate_system.chosen = 3;  // Gauss-Krüger, 3 degrees, the zone of the data
  view_.batch_answers = {choice};
  commands_.OnFilesGiven(given);
  EXPECT_EQ(view_.batch_dialogs.back().file_types,
            (std::vector<std::string>{Ui(u8"MIF文件"), Ui(u8"MIF+MID（属性、样式、内环、轨迹）"), Ui(u8"MapInfo TAB表")}));
  EXPECT_NE(ReadFileBytes(dir_ / "b.mif").find("Point 39447833.664 4418603.794\r\n"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "b.mid"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "note.mif"));
  EXPECT_EQ(view_.Text(Control::编辑框1), "<kml><Point><coordinates>116.39,39.9</coordinates></Point></kml>");
  EXPECT_EQ(view_.document_name, "b.kml");
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text,
            Ui(u8"已转换 2 个文件（共 4 个），文件类型：MIF+MID（属性、样式、内环、轨迹），坐标系："
               u8"CGCS2000 高斯-克吕格 3° 带（按数据选带，东坐标前加带号）。\r\n文件夹：") +
                dir_.path().string() +
                Ui(u8"\r\n\r\na.kml → a.mif、a.mid\r\nCGCS2000 高斯-克吕格 3° 带，第 39 带（中央经线 117°，东坐标前加带号）"
                   u8"\r\nb.kml → b.mif、b.mid\r\nCGCS2000 高斯-克吕格 3° 带，第 39 带（中央经线 117°，东坐标前加带号）"
                   u8"\r\n\r\n未能转换：\r\nmissing.kml：No such file or directory\r\nnote.kml：不是 KML 文件。"));
  EXPECT_EQ(view_.messages[0].icon, MessageIcon::kWarning);
  EXPECT_EQ(commands_.通用对话框2.filter_index, kMifWithMidType);
  // All written: the information icon.
  view_.batch_answers = {view_.batch_dialogs.back()};
  view_.yes_no_answers = {true};  // replace the files of the first batch
  commands_.OnFilesGiven({Path("a.kml"), Path("b.kml")});
  EXPECT_EQ(view_.messages.back().icon, MessageIcon::kInformation);
  EXPECT_EQ(view_.batch_dialogs.back().coordinate_system.chosen, 3);
}

TEST_F(Commands, AFailedOpenLeavesTheProposedNameAsItWas) {
  WriteFileBytes(dir_ / "x.kml", "abc");
  view_.answers = {{true, Path("x.kml")}, {true, Path("missing.kml")}};
  commands_.OnOpenButton();
  commands_.OnOpenButton();
  EXPECT_EQ(commands_.通用对话框1.file_name, Path("x.kml"));
}

TEST_F(Commands, EveryCharacterOfTheFileIsKeptAndAnUndeclaredGbkFileOpensAsGbk) {
  // An emoji that GBK lacks, as phone apps write it: shown as "?" to the tags and analyses,
  // counted, and saved back byte for byte, also after an edit elsewhere.
  const std::string emoji_kml = "\xEF\xBB\xBF<kml><Placemark><name>\xF0\x9F\x98\x80\xE4\xB8\xAD</name>"
                                "<Point><coordinates>116.1,39.9</coordinates></Point></Placemark></kml>";
  WriteFileBytes(dir_ / "emoji.kml", emoji_kml);
  view_.SetText(Control::编辑框2, "the last analysis");
  view_.answers = {{true, Path("emoji.kml")}, {true, Path("saved.kml")}, {true, Path("both.mif"), kMifWithMidType}};
  commands_.OnOpenButton();
  EXPECT_EQ(view_.Text(Control::编辑框1).substr(0, 32), "<kml><Placemark><name>?\xD6\xD0</name>");
  EXPECT_EQ(view_.Text(Control::编辑框2), "");  // the last document's analysis goes
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, Ui(u8"“emoji.kml”中有 1 个字符是 GBK 无法表示的（如表情符号）：标签列表、分析和 MIF 文件中显示为“?”，"
                                       u8"保存文档时原样保留。"));
  commands_.OnSave();
  EXPECT_EQ(ReadFileBytes(dir_ / "saved.kml"), emoji_kml);
  commands_.OnExportMif();
  EXPECT_EQ(ReadFileBytes(dir_ / "both.mid"), "\"?\xD6\xD0\",\"\",\"\"\r\n");
  EXPECT_NE(view_.messages.back().text.find(Ui(u8"1 个字符 GBK 无法表示，在 MID 文件中写为“?”。")), std::string::npos);

  // A GBK file without a declaration, opened with the UTF8 choice: its Chinese stays.
  WriteFileBytes(dir_ / "gbk.kml", "<kml><name>\xB1\xB1\xBE\xA9</name></kml>");
  view_.answers = {{true, Path("gbk.kml")}, {true, Path("gbk-saved.kml")}};
  commands_.OnOpenButton();
  EXPECT_EQ(view_.Text(Control::编辑框1), "<kml><name>\xB1\xB1\xBE\xA9</name></kml>");
  EXPECT_EQ(view_.document_name, Ui(u8"gbk.kml（按 GBK 读入）"));
  commands_.OnSave();
  EXPECT_EQ(ReadFileBytes(dir_ / "gbk-saved.kml"), "<kml><name>\xB1\xB1\xBE\xA9</name></kml>");
}

TEST_F(Commands, TheTableFileTypeWritesTheFourFilesOfTheTableTogether) {
  WriteFileBytes(dir_ / "a.kml", kKml);
  WriteFileBytes(dir_ / "t.map", "old");
  view_.answers = {{true, Path("a.kml")}, {true, Path("t"), kTabType}};
  view_.yes_no_answers = {true};
  commands_.OnOpenButton();
  commands_.OnExportMif();
  EXPECT_EQ(ReadFileBytes(dir_ / "t.tab").substr(0, 16), "!table\r\n!version");
  EXPECT_EQ(ReadFileBytes(dir_ / "t.map").size() % 512, 0u);
  EXPECT_EQ(ReadFileBytes(dir_ / "t.dat")[0], '\x03');
  EXPECT_FALSE(ReadFileBytes(dir_ / "t.id").empty());
  EXPECT_NE(view_.messages.back().text.find(Ui(u8"已写入：\r\n  t.tab\r\n  t.dat\r\n  t.map\r\n  t.id\r\n")), std::string::npos)
      << view_.messages.back().text;
}

TEST_F(Commands, UnsavedEditsAreNeverLostWithoutAQuestion) {
  WriteFileBytes(dir_ / "a.kml", kKml);
  WriteFileBytes(dir_ / "b.kml", "<kml/>");
  view_.answers = {{true, Path("a.kml")}};
  commands_.OnOpenButton();
  EXPECT_TRUE(commands_.OnCloseRequested());  // nothing changed: no question
  EXPECT_TRUE(view_.questions.empty());
  view_.Type(Control::编辑框1, "<kml>edited</kml>");
  // Cancel keeps the window and the edits; No lets them go.
  view_.three_way_answers = {Answer::kCancel, Answer::kNo};
  EXPECT_FALSE(commands_.OnCloseRequested());
  EXPECT_EQ(view_.questions.back(), Ui(u8"文档“a.kml”已修改。\r\n\r\n要保存修改吗？|Geovant"));
  EXPECT_TRUE(commands_.OnCloseRequested());
  // Opening another document over them: Yes saves them first; a cancelled save keeps all.
  view_.three_way_answers = {Answer::kYes, Answer::kYes};
  view_.answers = {{true, Path("b.kml")}, {false, ""}, {true, Path("b.kml")}, {true, Path("kept.kml")}};
  commands_.OnOpenButton();
  EXPECT_EQ(view_.Text(Control::编辑框1), "<kml>edited</kml>");
  commands_.OnOpenButton();
  EXPECT_EQ(ReadFileBytes(dir_ / "kept.kml"), "<kml>edited</kml>");
  EXPECT_EQ(view_.Text(Control::编辑框1), "<kml/>");
  EXPECT_FALSE(view_.IsModified(Control::编辑框1));
}

TEST_F(Commands, HelpShowsTheGuideAndTheProgramsVersionAndLicence) {
  commands_.OnUserGuide();
  EXPECT_TRUE(view_.guide_shown);
  EXPECT_TRUE(view_.messages.empty());
  view_.guide_present = false;
  commands_.OnUserGuide();
  EXPECT_EQ(view_.messages.back().icon, MessageIcon::kError);
  commands_.OnAbout();
  EXPECT_NE(view_.messages.back().text.find("Geovant " GEOVANT_VERSION), std::string::npos);
  EXPECT_NE(view_.messages.back().text.find("MIT"), std::string::npos);
}

TEST_F(Commands, TheExportsCheckBoxesAddTheirColumnsAndSeveralFilesMergeIntoOne) {
  // 高程 with the first file type: the MID file too.
  view_.SetText(Control::编辑框1, "<kml><Point><coordinates>116.1,39.9,12</coordinates></Point></kml>");
  view_.answers = {{true, Path("h.mif"), 1, 0, "", false, false, true}};
  commands_.OnExportMif();
  EXPECT_NE(ReadFileBytes(dir_ / "h.mif").find("  AltitudeMax Float\r\n"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(dir_ / "h.mid"), "\"\",\"\",\"\",12,12\r\n");
  EXPECT_TRUE(commands_.通用对话框2.coordinate_system->altitude);  // kept for the next export

  WriteFileBytes(dir_ / "a.kml", "<kml><Placemark><name>a</name><description>H: 1</description>"
                                 "<Point><coordinates>116.1,39.9</coordinates></Point></Placemark></kml>");
  WriteFileBytes(dir_ / "b.kml", "<kml><Point><coordinates>116.2,39.9,5</coordinates></Point></kml>");
  BatchChoice choice = {{}, 1, *commands_.通用对话框2.coordinate_system};
  choice.merge = true;
  choice.coordinate_system.description_fields = true;
  view_.batch_answers = {choice};
  view_.answers = {{true, Path("all.mif")}};
  commands_.OnFilesGiven({Path("a.kml"), Path("missing.kml"), Path("b.kml")});
  EXPECT_EQ(view_.shown_dialogs.back().file_name, Path(Ui(u8"合并.mif")));  // proposed beside the first file
  EXPECT_EQ(ReadFileBytes(dir_ / "all.mid"), "\"a.kml\",\"a\",\"H: 1\",\"\",\"1\",,\r\n\"b.kml\",\"\",\"\",\"\",\"\",5,5\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "a.mif"));
  ASSERT_FALSE(view_.messages.empty());
  EXPECT_EQ(view_.messages.back().text.rfind(Ui(u8"已合并 2 个文件（共 3 个）。\r\n"), 0), 0u);
  EXPECT_NE(view_.messages.back().text.find(Ui(u8"未能读入：\r\nmissing.kml：")), std::string::npos);
  EXPECT_EQ(view_.messages.back().icon, MessageIcon::kWarning);
}
