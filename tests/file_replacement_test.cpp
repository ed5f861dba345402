// Replacing files, in both builds: what an interrupted run leaves, and what a failed one says.
#include <gtest/gtest.h>

#include <filesystem>

#include "document/file_io.h"
#include "tests/test_support.h"

#ifdef _WIN32
#include <windows.h>
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
  char expected[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_PATH_NOT_FOUND, 0,
                 expected, sizeof expected, nullptr);
  std::string reason = WriteWholeFile((dir / "missing" / "a.mif").string(), "data").reason;
  EXPECT_EQ(reason, std::string(expected).substr(0, reason.size()));
  EXPECT_FALSE(reason.empty());
}
#endif
