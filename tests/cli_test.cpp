// The command-line program, run as a user runs it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/test_support.h"
#include "tests/zip_writer.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

// Runs geovant with `arguments` in `dir`; `shell_prefix` goes before it on the shell's line.
Outcome Geovant(const std::string& arguments, const ScopedTempDir& dir, const std::string& input = "",
                const std::string& shell_prefix = "") {
  fs::path in = dir / ".stdin", err = dir / ".stderr";
  WriteFileBytes(in, input);
  std::string command = "cd '";
  command += dir.path().string();
  command += "' && ";
  command += shell_prefix;
  command += " '" GEOVANT_CLI "' ";
  command += arguments;
  command += " <'" + in.string() + "' 2>'" + err.string() + "'";
  Outcome run{-1, "", ""};
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[65536];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = ReadFileBytes(err);
  fs::remove(in);
  fs::remove(err);
  return run;
}

const std::string kPointKml =
    "<kml><Placemark><name>\xE7\x82\xB9</name><Point><coordinates>116.1,39.9,0</coordinates></Point></Placemark></kml>";
const std::string kPointMif =
    "Version   300\r\nCharset \"WindowsSimpChinese\"\r\nDelimiter \",\"\r\n"
    "CoordSys Earth Projection 1, 0\r\nColumns 1\r\n  GOOD Char(10)\r\nData\r\n"
    "Point 116.1 39.9\r\n    Symbol (35,0,12)\r\n\r\n\r\n";

class Cli : public ::testing::Test {
 protected:
  ScopedTempDir dir_;
};

}  // namespace

TEST_F(Cli, ConvertWritesTheMifBesideTheInput) {
  WriteFileBytes(dir_ / "a.kml", kPointKml);
  Outcome run = Geovant("convert a.kml", dir_);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(ReadFileBytes(dir_ / "a.mif"), kPointMif);
}

TEST_F(Cli, ConvertToAnOutputAndThroughStandardStreams) {
  WriteFileBytes(dir_ / "a.kml", kPointKml);
  EXPECT_EQ(Geovant("convert -o out.MIF a.kml", dir_).status, 0);
  EXPECT_EQ(ReadFileBytes(dir_ / "out.MIF"), kPointMif);
  Outcome piped = Geovant("convert --encoding=ansi -", dir_, kPointKml);
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.out, kPointMif);
  EXPECT_EQ(Geovant("convert -o - a.kml", dir_).out, kPointMif);
}

TEST_F(Cli, EncodingChoiceDecidesHowNamesArrive) {
  WriteFileBytes(dir_ / "a.kml", "\xEF\xBB\xBF<name>\xE4\xB8\xAD</name>");
  EXPECT_EQ(Geovant("tags a.kml", dir_).out, "<name>\n");
  EXPECT_EQ(Geovant("extract a.kml '<name>'", dir_).out, "\r\n\xD6\xD0\r\n");
  // Taken as GBK, the last byte of the three leads nothing: it becomes "?".
  EXPECT_EQ(Geovant("extract --encoding ansi a.kml '<name>'", dir_).out, "\r\n\xE4\xB8?\r\n");
}

TEST_F(Cli, AnalysePrintsTheThreeCounts) {
  WriteFileBytes(dir_ / "a.kml", GenerateKml(3, 4));
  Outcome run = Geovant("analyse a.kml", dir_);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "points: 3\nlines: 3\npolygons: 3\n");
}

TEST_F(Cli, ManyInputsConvertInParallelAndFailuresDoNotStopTheOthers) {
  auto name = [](int i, const char* extension) { return std::string(1, 'f').append(std::to_string(i)).append(extension); };
  for (int i = 0; i < 8; ++i) WriteFileBytes(dir_ / name(i, ".kml"), GenerateKml(20 + i, 5));
  fs::create_directory(dir_ / "folder.kml");
  Outcome run = Geovant("convert f0.kml missing.kml f1.kml f2.kml f3.kml folder.kml f4.kml f5.kml f6.kml f7.kml", dir_);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("geovant: missing.kml: No such file or directory\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("geovant: folder.kml: the folder holds no .kml or .kmz file\n"), std::string::npos) << run.err;
  for (int i = 0; i < 8; ++i) {
    Outcome single = Geovant("convert -o - " + name(i, ".kml"), dir_);
    EXPECT_EQ(ReadFileBytes(dir_ / name(i, ".mif")), single.out) << i;
  }
  EXPECT_FALSE(fs::exists(dir_ / "missing.mif"));
}

TEST_F(Cli, FailedWriteKeepsTheOldFileAndLeavesNothingBehind) {
  WriteFileBytes(dir_ / "a.kml", kPointKml);
  fs::create_directory(dir_ / "out");
  WriteFileBytes(dir_ / "out" / "a.mif", "previous");
  Outcome full = Geovant("convert -o /dev/full a.kml", dir_);
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "geovant: /dev/full: No space left on device\n");
  Outcome missing = Geovant("convert -o nowhere/a.mif a.kml", dir_);
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "geovant: nowhere/a.mif: No such file or directory\n");
  Outcome folder = Geovant("convert -o out a.kml", dir_);
  EXPECT_EQ(folder.err, "geovant: out: Is a directory\n");
  EXPECT_EQ(ReadFileBytes(dir_ / "out" / "a.mif"), "previous");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator()), 1);
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
  for (const char* args : {"", "frobnicate x", "convert", "convert --encoding latin1 a.kml", "convert -o x a b",
                           "analyse a b", "extract a.kml", "tags -o x a.kml", "convert --bogus a.kml", "convert -o",
                           "convert -o '' a.kml", "convert --output= a.kml"}) {
    Outcome run = Geovant(args, dir_);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err.find("usage: geovant convert"), std::string::npos) << args;
  }
  EXPECT_EQ(Geovant("--version", dir_).out, "geovant 3.16\n");
  Outcome help = Geovant("--help", dir_);
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: geovant convert", 0), 0u);
}

TEST_F(Cli, OutputsThatWouldCollideAreRefusedBeforeAnythingIsWritten) {
  for (const char* name : {"a.kml", "a.mif", "roads.kml", "roads.xml", "self.kml"}) WriteFileBytes(dir_ / name, kPointKml);
  fs::create_symlink("self.kml", dir_ / "link.kml");
  fs::create_directory(dir_ / "sub");
  struct Case {
    const char* args;
    const char* error;
  } cases[] = {
      {"convert a.kml a.mif", "geovant: 'a.kml' would write over the input 'a.mif'\n"},
      {"convert roads.kml roads.xml", "geovant: 'roads.kml' and 'roads.xml' would both write 'roads.mif'\n"},
      // Two names of one file collide, whatever their text.
      {"convert roads.kml sub/../roads.xml", "geovant: 'roads.kml' and 'sub/../roads.xml' would both write 'sub/../roads.mif'\n"},
      {"convert self.kml -o link.kml", "geovant: 'self.kml' would be written over itself\n"},
      {"convert - -", "geovant: standard input may be named only once\n"},
  };
  for (const Case& c : cases) {
    Outcome run = Geovant(c.args, dir_, kPointKml);
    EXPECT_EQ(run.status, 2) << c.args;
    EXPECT_EQ(run.err, c.error);
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(ReadFileBytes(dir_ / "a.mif"), kPointKml);
  EXPECT_EQ(ReadFileBytes(dir_ / "self.kml"), kPointKml);
  EXPECT_FALSE(fs::exists(dir_ / "roads.mif"));
}

TEST_F(Cli, KmzArchivesAreReadAsTheirKml) {
  WriteFileBytes(dir_ / "a.kml", kPointKml);
  WriteFileBytes(dir_ / "a.kmz", MakeZip({{"images/icon.png", "png", false}, {"doc.kml", kPointKml, true, true}}));
  WriteFileBytes(dir_ / "named.zip", MakeZip({{"Layer.KML", kPointKml}}));
  WriteFileBytes(dir_ / "empty.kmz", MakeZip({{"readme.txt", "no KML here"}}));
  EXPECT_EQ(Geovant("convert a.kmz named.zip", dir_).status, 0);
  EXPECT_EQ(ReadFileBytes(dir_ / "a.mif"), kPointMif);
  EXPECT_EQ(ReadFileBytes(dir_ / "named.mif"), kPointMif);
  for (const char* command : {"analyse", "tags"}) {
    EXPECT_EQ(Geovant(std::string(command) + " a.kmz", dir_).out, Geovant(std::string(command) + " a.kml", dir_).out);
  }
  EXPECT_EQ(Geovant("extract a.kmz '<name>'", dir_).out, Geovant("extract a.kml '<name>'", dir_).out);
  Outcome empty = Geovant("convert empty.kmz", dir_);
  EXPECT_EQ(empty.status, 1);
  EXPECT_EQ(empty.err, "geovant: empty.kmz: the KMZ archive holds no .kml file\n");
  EXPECT_FALSE(fs::exists(dir_ / "empty.mif"));
}

TEST_F(Cli, AStreamNamedAsAFileGoesToStandardOutput) {
  Outcome run = Geovant("convert /proc/self/fd/0", dir_, kPointKml);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, kPointMif);
}

TEST_F(Cli, ExtractSaysWhenTheTagIsNoPattern) {
  WriteFileBytes(dir_ / "a.kml", "<a x=\"(\">1</a x=\"(\">");
  Outcome run = Geovant("extract a.kml '<a x=\"(\">'", dir_);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "geovant: '<a x=\"(\">' is not a pattern that can be searched for\n");
}

// Runs the rest of the shell line as the user nobody, in a folder that user may write.
std::string AsNobody(const ScopedTempDir& dir) {
  fs::permissions(dir.path(), fs::perms::all);
  return "setpriv --reuid=65534 --regid=65534 --clear-groups";
}

TEST_F(Cli, ConvertsOnTheCallingThreadWhenNoThreadCanBeStarted) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run as a user without other processes";
#ifdef GEOVANT_SANITIZED
  GTEST_SKIP() << "the leak checker needs a thread of its own at exit";
#endif
  WriteFileBytes(dir_ / "a.kml", kPointKml);
  WriteFileBytes(dir_ / "b.kml", kPointKml);
  Outcome run = Geovant("convert a.kml b.kml", dir_, "", "prlimit --nproc=1:1 " + AsNobody(dir_));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(dir_ / "a.mif"), kPointMif);
  EXPECT_EQ(ReadFileBytes(dir_ / "b.mif"), kPointMif);
}

// Names in `folder` other than the given ones: a temporary file left behind shows here.
std::vector<std::string> OtherFiles(const fs::path& folder, const std::vector<std::string>& known) {
  std::vector<std::string> others;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string name = entry.path().filename().string();
    if (std::find(known.begin(), known.end(), name) == known.end()) others.push_back(name);
  }
  return others;
}

TEST_F(Cli, WriteThatRunsOutOfRoomKeepsTheExistingFile) {
  WriteFileBytes(dir_ / "big.kml", GenerateKml(2000, 20));
  WriteFileBytes(dir_ / "big.mif", "previous");
  // A file-size limit of 64 blocks makes the write fail part way, as a full disk would.
  Outcome run = Geovant("convert big.kml", dir_, "", "trap '' XFSZ; ulimit -f 64;");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "geovant: big.mif: File too large\n");
  EXPECT_EQ(ReadFileBytes(dir_ / "big.mif"), "previous");
  EXPECT_EQ(OtherFiles(dir_.path(), {"big.kml", "big.mif"}), std::vector<std::string>{});
}

TEST_F(Cli, InterruptedRunLeavesTheOldFileOrTheWholeNewOne) {
  WriteFileBytes(dir_ / "big.kml", GenerateKml(20000, 20));
  std::string complete = Geovant("convert -o - big.kml", dir_).out;
  // KILL cannot be handled: the new file has no name until it is complete.
  for (const char* signal : {"INT", "TERM", "HUP", "QUIT", "KILL"}) {
    for (int delay_ms : {0, 20, 60, 150}) {
      WriteFileBytes(dir_ / "big.mif", "previous");
      std::string sleep = "sleep " + std::to_string(delay_ms / 1000.0) + ";";
      Geovant("convert big.kml & pid=$!; " + sleep + " kill -" + signal + " $pid 2>/dev/null; wait $pid", dir_);
      std::string now = ReadFileBytes(dir_ / "big.mif");
      EXPECT_TRUE(now == "previous" || now == complete) << signal << delay_ms << " ms: " << now.size() << " bytes";
      EXPECT_EQ(OtherFiles(dir_.path(), {"big.kml", "big.mif"}), std::vector<std::string>{}) << signal << delay_ms;
    }
  }
}

TEST_F(Cli, OutputNamesUpToTheSystemsLimitCanBeWritten) {
  WriteFileBytes(dir_ / "a.kml", kPointKml);
  std::string longest = std::string(251, 'n') + ".mif";
  EXPECT_EQ(Geovant("convert -o " + longest + " a.kml", dir_).status, 0);
  EXPECT_EQ(ReadFileBytes(dir_ / longest), kPointMif);
}

#ifndef GEOVANT_SANITIZED  // the sanitizers reserve more address space than the limit allows
TEST_F(Cli, InputLargerThanTheMemoryThatCanBeHadIsReported) {
  // A 300 MB file with no blocks on disk, and 200 MB of address space for the program.
  { std::ofstream(dir_ / "huge.kml"); }
  fs::resize_file(dir_ / "huge.kml", 300'000'000);
  WriteFileBytes(dir_ / "small.kml", kPointKml);
  Outcome run = Geovant("convert huge.kml small.kml", dir_, "", "ulimit -v 200000;");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "geovant: huge.kml: Cannot allocate memory\n");
  EXPECT_EQ(ReadFileBytes(dir_ / "small.mif"), kPointMif);
  EXPECT_FALSE(fs::exists(dir_ / "huge.mif"));
}
#endif

TEST_F(Cli, AFileDeclaringGbkIsReadAsGbkAndSoIsOneThatIsNoUtf8ButGbk) {
  WriteFileBytes(dir_ / "a.kml", "<?xml version=\"1.0\" encoding=\"GB2312\"?><name>\xD6\xD0</name>");
  EXPECT_EQ(Geovant("extract a.kml '<name>'", dir_).out, "\r\n\xD6\xD0\r\n");
  // Asked for UTF-8, bytes that are no UTF-8 but GBK are read as GBK, and said so.
  Outcome run = Geovant("extract --encoding utf-8 a.kml '<name>'", dir_);
  EXPECT_EQ(run.out, "\r\n\xD6\xD0\r\n");
  EXPECT_EQ(run.err, "geovant: a.kml: read as GBK: the file is no valid UTF-8, but valid GBK\n");
  WriteFileBytes(dir_ / "b.kml", "<kml><Placemark><name>\xB1\xB1</name><Point><coordinates>1,2</coordinates></Point>"
                                 "</Placemark></kml>");
  run = Geovant("convert --attributes b.kml", dir_);
  EXPECT_EQ(run.err, "geovant: b.kml: read as GBK: the file is no valid UTF-8, but valid GBK\n");
  EXPECT_EQ(ReadFileBytes(dir_ / "b.mid"), "\"\xB1\xB1\",\"\",\"\"\r\n");
  EXPECT_EQ(Geovant("convert --encoding ansi --attributes b.kml", dir_).err, "");
}

TEST_F(Cli, TheMifAndItsMidArePutInPlaceTogetherOrNotAtAll) {
  WriteFileBytes(dir_ / "a.kml", kPointKml);
  WriteFileBytes(dir_ / "a.mif", "old mif");
  // The MID file's step fails after the MIF file's: its name, behind a link, is too long.
  fs::create_symlink(std::string(300, 'm') + ".mid", dir_ / "a.mid");
  Outcome run = Geovant("convert --all a.kml", dir_);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "geovant: a.mid: File name too long; a.mif and a.mid are left as they were\n");
  EXPECT_EQ(ReadFileBytes(dir_ / "a.mif"), "old mif");
  EXPECT_TRUE(fs::is_symlink(dir_ / "a.mid"));
  EXPECT_EQ(OtherFiles(dir_.path(), {"a.kml", "a.mif", "a.mid"}), std::vector<std::string>{});

  fs::remove(dir_ / "a.mid");
  EXPECT_EQ(Geovant("convert --all a.kml", dir_).status, 0);
  EXPECT_EQ(ReadFileBytes(dir_ / "a.mid"), "\"\xB5\xE3\",\"\",\"\"\r\n");
  // A plain MIF file replacing that one takes its MID file away in the same step.
  run = Geovant("convert a.kml", dir_);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "geovant: a.mid: removed: it was the MID file of the MIF file replaced, and no longer belongs to it\n");
  EXPECT_EQ(ReadFileBytes(dir_ / "a.mif"), kPointMif);
  EXPECT_FALSE(fs::exists(dir_ / "a.mid"));
  // A MID file beside a MIF file that did not exist before is none of the program's.
  WriteFileBytes(dir_ / "b.kml", kPointKml);
  WriteFileBytes(dir_ / "b.mid", "someone's");
  EXPECT_EQ(Geovant("convert b.kml", dir_).err, "");
  EXPECT_EQ(ReadFileBytes(dir_ / "b.mid"), "someone's");
  // A stale MID file that is a link: the link goes, the file it leads to in another folder stays.
  EXPECT_EQ(Geovant("convert --all a.kml", dir_).status, 0);
  fs::create_directory(dir_ / "elsewhere");
  fs::rename(dir_ / "a.mid", dir_ / "elsewhere" / "y.mid");
  fs::create_symlink("elsewhere/y.mid", dir_ / "a.mid");
  EXPECT_EQ(Geovant("convert a.kml", dir_).status, 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / "a.mid")));
  EXPECT_EQ(ReadFileBytes(dir_ / "elsewhere" / "y.mid"), "\"\xB5\xE3\",\"\",\"\"\r\n");
}

TEST_F(Cli, AMidFileIsWrittenOnlyToAFileBesideAFile) {
  WriteFileBytes(dir_ / "a.kml", kPointKml);
  ASSERT_EQ(mkfifo((dir_ / "a.mid").c_str(), 0600), 0);
  fs::create_symlink("/dev/null", dir_ / "device.mif");
  struct Case {
    const char* args;
    const char* error;
  } cases[] = {
      {"convert --all a.kml", "geovant: 'a.mid' is a device or a pipe, not a file that the MID file of 'a.kml' can be written to\n"},
      {"convert --attributes -o device.mif a.kml",
       "geovant: --attributes writes a MID file beside the MIF file, and 'device.mif' is a device or a pipe, beside "
       "which no MID file can be written\n"},
      {"convert --all -o - a.kml",
       "geovant: --attributes writes a MID file beside the MIF file, which 'a.kml' cannot have on standard output: name "
       "the output with -o\n"},
  };
  for (const Case& c : cases) {
    Outcome run = Geovant(c.args, dir_);
    EXPECT_EQ(run.status, 2) << c.args;
    EXPECT_EQ(run.err, c.error);
  }
  EXPECT_FALSE(fs::exists(dir_ / "a.mif"));
}

TEST_F(Cli, TheFourFilesOfATableArePutInPlaceTogetherOrNotAtAll) {
  WriteFileBytes(dir_ / "a.kml", kPointKml);
  WriteFileBytes(dir_ / "a.tab", "old tab");
  // The ID file's step fails after the others': its name, behind a link, is too long.
  fs::create_symlink(std::string(300, 'i') + ".id", dir_ / "a.id");
  Outcome run = Geovant("convert --tab --all a.kml", dir_);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "geovant: a.id: File name too long; the four files of a.tab are left as they were\n");
  EXPECT_EQ(ReadFileBytes(dir_ / "a.tab"), "old tab");
  EXPECT_EQ(OtherFiles(dir_.path(), {"a.kml", "a.tab", "a.id"}), std::vector<std::string>{});
  fs::remove(dir_ / "a.id");
  // -o NAME.TAB asks for a table too, its companions in the same letter case.
  run = Geovant("convert -o B.TAB a.kml", dir_);
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char* name : {"B.TAB", "B.DAT", "B.MAP", "B.ID"}) EXPECT_TRUE(fs::exists(dir_ / name)) << name;
  EXPECT_EQ(ReadFileBytes(dir_ / "B.TAB").substr(0, 20), "!table\r\n!version 300");
  // No table goes to a stream or under a name that is none of a table.
  for (const char* args : {"convert --tab -o - a.kml", "convert --tab -o a.mif a.kml"}) {
    run = Geovant(args, dir_);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err, "") << args;
  }
  EXPECT_FALSE(fs::exists(dir_ / "a.mif"));
}

TEST_F(Cli, ExtractSaysWhenItsSearchWasCutShort) {
  // 20 empty groups in the tag make each character read cost 21 units of the search's budget.
  std::string groups;
  for (int i = 0; i < 20; ++i) groups += "()";
  const std::string item = "<p" + groups + ">";
  std::string document;
  for (int i = 0; i < 25000; ++i) document += "<p>" + std::string(70, 'x') + "</p>\n";
  WriteFileBytes(dir_ / "a.kml", document);
  Outcome run = Geovant("extract a.kml '" + item + "'", dir_);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "geovant: the search for '" + item + "' was cut short, as it took more work than the document's "
                     "size allows: what was found before is printed\n");
  EXPECT_GT(run.out.size(), 0u);
  EXPECT_LT(run.out.size(), 25000u * 74);
}

#ifndef GEOVANT_SANITIZED  // the sanitizers reserve more address space than the limit allows
TEST_F(Cli, AnArchiveClaimingGigabytesIsDamagedBeforeMemoryIsTakenForThem) {
  // 4 MB of random bytes as a deflated entry that declares 4 GB: refused as damaged, in 100 MB
  // of address space, side by side with a second such archive.
  std::string noise(4 << 20, '\0');
  uint32_t state = 2026;
  for (char& c : noise) c = static_cast<char>((state = state * 1664525u + 1013904223u) >> 24);
  ZipEntry entry{"doc.kml", noise, /*deflate=*/false};
  entry.method = 8;  // the noise itself is the deflated data
  entry.declared_size = 0xFFFFFFFE;
  std::string zip = MakeZip({entry});
  WriteFileBytes(dir_ / "a.kmz", zip);
  WriteFileBytes(dir_ / "b.kmz", zip);
  Outcome run = Geovant("convert a.kmz b.kmz", dir_, "", "ulimit -v 100000;");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("geovant: a.kmz: the KMZ archive is damaged\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("geovant: b.kmz: the KMZ archive is damaged\n"), std::string::npos) << run.err;
}
#endif

TEST_F(Cli, LinksFollowTheDocumentsThatAKmzArchiveHolds) {
  const std::string doc =
      "<kml><Document><Folder><name>layers</name>"
      "<NetworkLink><name>roads</name><Link><href>files/roads.kml</href></Link></NetworkLink>"
      "<NetworkLink><name>web</name><Link><href>https://example.org/a.kml</href></Link></NetworkLink>"
      "<NetworkLink><name>up</name><Url><href>../outside.kml</href></Url></NetworkLink></Folder></Document></kml>";
  const std::string roads =  // GBK, as it declares; its link back to doc.kml is left alone
      "<?xml version=\"1.0\" encoding=\"GBK\"?><kml><Document>"
      "<NetworkLink><name>back</name><Link><href>../doc.kml</href></Link></NetworkLink>"
      "<Placemark><name>\xB5\xC0</name><LineString><coordinates>1,1 2,2</coordinates></LineString></Placemark>"
      "</Document></kml>";
  WriteFileBytes(dir_ / "a.kmz", MakeZip({{"doc.kml", doc}, {"files/roads.kml", roads}}));
  Outcome run = Geovant("convert --links --attributes a.kmz", dir_);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err,
            "geovant: a.kmz: 2 NetworkLinks lead outside the archive and were not followed: https://example.org/a.kml, "
            "../outside.kml\n");
  EXPECT_EQ(ReadFileBytes(dir_ / "a.mid"), "\"\xB5\xC0\",\"\",\"layers/roads\"\r\n");
  // Without --links: the links are only named.
  run = Geovant("convert a.kmz -o plain.mif", dir_);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "geovant: a.kmz: the document holds no geometry but 3 NetworkLinks: --links follows those that lead to "
            "documents inside the archive\n");
  // A doc.kml in UTF-16, as some programs save it, has its links found all the same.
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("<kml><NetworkLink><Link><href>files/roads.kml</href></Link></NetworkLink></kml>")) {
    utf16 += c;
    utf16 += '\0';
  }
  WriteFileBytes(dir_ / "b.kmz", MakeZip({{"doc.kml", utf16}, {"files/roads.kml", roads}}));
  run = Geovant("convert --links --attributes b.kmz", dir_);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(dir_ / "b.mid"), "\"\xB5\xC0\",\"\",\"\"\r\n");
}

TEST_F(Cli, OptionsAboutTheColumnsWriteTheMidFile) {
  WriteFileBytes(dir_ / "a.kml", kPointKml);
  for (const char* option : {"--typed", "--times", "--empty-rows", "--plain-descriptions"}) {
    fs::remove(dir_ / "a.mid");
    EXPECT_EQ(Geovant(std::string("convert ") + option + " a.kml", dir_).status, 0) << option;
    EXPECT_EQ(ReadFileBytes(dir_ / "a.mid"), "\"\xB5\xE3\",\"\",\"\"\r\n") << option;
  }
}

TEST_F(Cli, CoordinateSystemsAreNamedAndProjected) {
  WriteFileBytes(dir_ / "a.kml", "<kml><Point><coordinates>116.39,39.9</coordinates></Point>"
                                 "<Point><coordinates>121.0,39.9</coordinates></Point>"
                                 "<LineString><coordinates>1,x 2,2</coordinates></LineString></kml>");
  Outcome run = Geovant("convert --crs gk3:39 -o - a.kml", dir_);
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("\r\nPoint 39447833.664 4418603.794\r\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.err,
            "geovant: a.kml: left out: 1 vertex with a coordinate that is no number (the first: '1,x'), 1 vertex that "
            "the projection has no place for (no place on the earth, or more than 90 degrees from the central "
            "meridian) and 1 object with fewer vertices than MapInfo needs (1 for a point, 2 for a line, 3 for a ring)\n"
            "geovant: a.kml: 1 vertex lies farther than 1.5 degrees from the central meridian of zone 39, where the "
            "zone's distortion is larger; projected all the same\n");
  EXPECT_NE(Geovant("convert --crs gk6 --no-zone-prefix -o - a.kml", dir_).out.find("Point 447833.664 4418603.794"),
            std::string::npos);
  // Data outside China's zones are not written in a zone of their own.
  WriteFileBytes(dir_ / "paris.kml", "<kml><Point><coordinates>2.35,48.85</coordinates></Point></kml>");
  run = Geovant("convert --crs gk3 -o paris.mif paris.kml", dir_);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "geovant: paris.kml: most of the data lie in zone 1 of 3 degrees, outside the zones 25 to 45 that CGCS2000 "
            "defines over China: nothing was written (name a zone, --crs gk3:ZONE, to project them in it all the same)\n");
  EXPECT_FALSE(fs::exists(dir_ / "paris.mif"));
  // --all adds to the options given before it.
  EXPECT_NE(Geovant("convert --crs cgcs2000 --altitude --all a.kml", dir_).status, 2);
  EXPECT_NE(ReadFileBytes(dir_ / "a.mif").find("CoordSys Earth Projection 1, 104\r\n"), std::string::npos);
  EXPECT_NE(ReadFileBytes(dir_ / "a.mif").find("  AltitudeMax Float\r\n"), std::string::npos);
  for (const char* args : {"convert --crs gk3:46 a.kml", "convert --crs utm a.kml", "convert --no-zone-prefix a.kml",
                           "analyse --crs gk3 a.kml"}) {
    EXPECT_EQ(Geovant(args, dir_).status, 2) << args;
  }
  // Written once in the zone of the lines' first vertices, then again in the zone of most of
  // the vertices: the files hold the second writing only.
  WriteFileBytes(dir_ / "east.kml", "<kml><Placemark><name>a</name><LineString><coordinates>116.39,39.9 120.5,40 "
                                    "121,40</coordinates></LineString></Placemark></kml>");
  EXPECT_EQ(Geovant("convert --crs gk3 --attributes -o east.mif east.kml", dir_).status, 0);
  const std::string mif = ReadFileBytes(dir_ / "east.mif");
  EXPECT_NE(mif.find(", 120, 0, 1, 40500000, 0 Bounds (40190242.000, 4423669.000) (40586395.000, 4431009.000)\r\n"
                     "Columns 3\r\n"),
            std::string::npos) << mif;
  EXPECT_EQ(mif.substr(mif.find("Data\r\n")),
            "Data\r\n\r\n\r\nPline 3\r\n40191242.414 4424669.478\r\n40542697.024 4429648.784\r\n"
            "40585394.620 4430008.068\r\n    Pen (3,2,2105599)\r\n");
  EXPECT_EQ(ReadFileBytes(dir_ / "east.mid"), "\"a\",\"\",\"\"\r\n");
}

TEST_F(Cli, MergeWritesEveryInputIntoOneTableAndFoldersStandForTheirKmlFiles) {
  fs::create_directories(dir_ / "in" / "sub");
  fs::create_directories(dir_ / "none");
  WriteFileBytes(dir_ / "a.kml", "<kml><Placemark><name>a</name><ExtendedData><Data name=\"H\"><value>1</value></Data>"
                                 "</ExtendedData><Point><coordinates>1,2</coordinates></Point></Placemark></kml>");
  WriteFileBytes(dir_ / "in" / "sub" / "b.KML", "<kml><Point><coordinates>3,4</coordinates></Point></kml>");
  WriteFileBytes(dir_ / "in" / "c.kml", "<kml><Placemark><ExtendedData><Data name=\"K\"><value>k</value></Data>"
                                        "<Data name=\"H\"><value>22</value></Data></ExtendedData>"
                                        "<LineString><coordinates>1,1 2,2</coordinates></LineString></Placemark></kml>");
  WriteFileBytes(dir_ / "in" / "notes.txt", "x");
  // In the order given, a folder's files in the order of their paths; the columns of all.
  Outcome run = Geovant("convert --merge --attributes -o all.mif a.kml in", dir_);
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string mif = ReadFileBytes(dir_ / "all.mif");
  EXPECT_EQ(mif.substr(mif.find("Columns")),
            "Columns 6\r\n  Source Char(12)\r\n  Name Char(1)\r\n  Description Char(1)\r\n  Folder Char(1)\r\n"
            "  H Char(2)\r\n  K Char(1)\r\nData\r\nPoint 1 2\r\n    Symbol (35,0,12)\r\n\r\n\r\n\r\n\r\n\r\n"
            "Pline 2\r\n1 1\r\n2 2\r\n    Pen (3,2,2105599)\r\n\r\nPoint 3 4\r\n    Symbol (35,0,12)\r\n\r\n\r\n");
  EXPECT_EQ(ReadFileBytes(dir_ / "all.mid"), "\"a.kml\",\"a\",\"\",\"\",\"1\",\"\"\r\n"
                                             "\"in/c.kml\",\"\",\"\",\"\",\"22\",\"k\"\r\n"
                                             "\"in/sub/b.KML\",\"\",\"\",\"\",\"\",\"\"\r\n");
  // Without columns, Source alone; an input that cannot be read is said, the rest merged.
  run = Geovant("convert --merge -o two.mif a.kml missing.kml none", dir_);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("geovant: none: the folder holds no .kml or .kmz file\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("geovant: missing.kml: "), std::string::npos) << run.err;
  EXPECT_EQ(ReadFileBytes(dir_ / "two.mid"), "\"a.kml\"\r\n");
  // Without --merge each file of a folder gets its MIF beside it.
  EXPECT_EQ(Geovant("convert in", dir_).status, 0);
  EXPECT_TRUE(fs::exists(dir_ / "in" / "sub" / "b.mif"));
  for (const char* args : {"convert --merge a.kml", "convert --merge -o x.mif -", "convert --merge -o - a.kml",
                           "convert --merge -o a.kml a.kml"}) {
    EXPECT_EQ(Geovant(args, dir_).status, 2) << args;
  }
}
