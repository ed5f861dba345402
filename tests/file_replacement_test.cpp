// Replacing files, in both builds: what an interrupted run leaves, and what a failed one says.
#include <gtest/gtest.h>

#include <filesystem>

#include "document/file_io.h"
#include "document/file_io_platform.h"
#include "tests/test_support.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#ifdef _WIN32
#include <windows.h>

#include "document/wide_text_win32.h"
#endif

namespace fs = std::filesystem;

TEST(FileReplacement, InterruptedRunLeavesNoTemporaryFile) {
  // What the signal handler does while a write is under way: the file being written is
  // removed at once, even though it is still open.
  ScopedTempDir dir;
  WriteFileBytes(dir / "a.mif", "old");
  {
    FileReplacement file;
    ASSERT_TRUE(file.Open((dir / "a.mif").string()).ok);
    ASSERT_TRUE(file.Write(std::string(100000, 'x')).ok);
    RemoveTemporaryFiles();
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
  }
  EXPECT_EQ(ReadFileBytes(dir / "a.mif"), "old");
}

#ifdef _WIN32
TEST(FileReplacement, MissingFolderIsReportedAsAMissingPath) {
  ScopedTempDir dir;
  wchar_t expected[256] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_PATH_NOT_FOUND, 0,
                 expected, 256, nullptr);
  std::string reason = WriteWholeFile((dir / "missing" / "a.mif").string(), "data").reason;
  EXPECT_EQ(reason, WideToUtf8(expected).substr(0, reason.size()));
  EXPECT_FALSE(reason.empty());
}
#endif

namespace {

size_t FilesIn(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

std::string Utf8Path(const fs::path& path) {
  std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

}  // namespace

TEST(CommitTogether, PutsEveryFileInPlaceAndTakesAStaleOneAway) {
  ScopedTempDir dir;
  WriteFileBytes(dir / "a.mif", "old mif");
  WriteFileBytes(dir / "b.mid", "stale");
  std::string failed;
  FileStatus status = WriteFilesTogether({{Utf8Path(dir / "a.mif"), "new mif"}, {Utf8Path(dir / "a.mid"), "new mid"}},
                                         Utf8Path(dir / "b.mid"), &failed);
  EXPECT_TRUE(status.ok) << status.reason;
  EXPECT_EQ(ReadFileBytes(dir / "a.mif"), "new mif");
  EXPECT_EQ(ReadFileBytes(dir / "a.mid"), "new mid");
  EXPECT_FALSE(fs::exists(dir / "b.mid"));
  EXPECT_EQ(FilesIn(dir.path()), 2u);
}

TEST(CommitTogether, WhenTheSecondFileCannotBePlacedBothOldFilesStay) {
  ScopedTempDir dir;
  WriteFileBytes(dir / "a.mif", "old mif");
  WriteFileBytes(dir / "a.mid", "old mid");
  WriteFileBytes(dir / "b.mif", "old b");
#ifdef _WIN32
  // Another program holds the MID file open: it cannot be moved, nor replaced.
  HANDLE held = CreateFileW((dir / "a.mid").wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const fs::path second = dir / "a.mid";
#else
  // A name that the folder cannot hold is refused only when the file is put in place.
  const fs::path second = dir / (std::string(300, 'm') + ".mid");
#endif
  std::string failed;
  FileStatus status = WriteFilesTogether({{Utf8Path(dir / "a.mif"), "new mif"}, {Utf8Path(second), "new mid"}},
                                         Utf8Path(dir / "b.mif"), &failed);
#ifdef _WIN32
  CloseHandle(held);
#endif
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(failed, Utf8Path(second));
  EXPECT_EQ(ReadFileBytes(dir / "a.mif"), "old mif");
  EXPECT_EQ(ReadFileBytes(dir / "a.mid"), "old mid");
  EXPECT_EQ(ReadFileBytes(dir / "b.mif"), "old b");
  EXPECT_EQ(FilesIn(dir.path()), 3u);
}

#ifndef _WIN32
TEST(CommitTogether, ATerminatingSignalBetweenTwoFilesPutsTheFirstBack) {
  // In a child, as the program's handler does it: a SIGTERM that arrives once the first file
  // is in place ends the program only after the old files are back.
  ScopedTempDir dir;
  WriteFileBytes(dir / "a.mif", "old mif");
  WriteFileBytes(dir / "a.mid", "old mid");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGTERM, [](int signal_number) {
      if (!TerminationMayProceed(signal_number)) return;
      RemoveTemporaryFiles();
      std::signal(signal_number, SIG_DFL);
      std::raise(signal_number);
    });
    g_after_placing_for_testing = [](size_t index) {
      if (index == 0) std::raise(SIGTERM);
    };
    std::string failed;
    WriteFilesTogether({{Utf8Path(dir / "a.mif"), "new mif"}, {Utf8Path(dir / "a.mid"), "new mid"}}, "", &failed);
    _exit(0);  // not reached: the commit ends the program
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_EQ(ReadFileBytes(dir / "a.mif"), "old mif");
  EXPECT_EQ(ReadFileBytes(dir / "a.mid"), "old mid");
  EXPECT_EQ(FilesIn(dir.path()), 2u);
}
#endif

TEST(ScratchFile, HoldsTheBytesWrittenAsTheyWereWritten) {
  std::FILE* file = OpenScratchFile();
  ASSERT_NE(file, nullptr);
  const std::string bytes("a\r\nb\0c\n\x1a", 8);  // binary: no line end or byte changes
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  ASSERT_EQ(std::fseek(file, 1, SEEK_SET), 0);
  std::string back(bytes.size() - 1, '\0');
  ASSERT_EQ(std::fread(back.data(), 1, back.size(), file), back.size());
  EXPECT_EQ(back, bytes.substr(1));
  std::fclose(file);
}
