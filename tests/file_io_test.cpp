#include "document/file_io.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

// Names in the folder other than `keep`: a failed or finished write leaves no temporary file.
std::vector<std::string> Leftovers(const fs::path& folder, const std::string& keep) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename() != keep) names.push_back(entry.path().filename().string());
  }
  return names;
}

}  // namespace

class FileIo : public ::testing::Test {
 protected:
  ScopedTempDir dir_;
};

TEST_F(FileIo, WritesAndReadsExactBytes) {
  std::string bytes("a\r\nb\0\xFF\n", 7);
  std::string path = (dir_ / "x.mif").string();
  ASSERT_TRUE(WriteWholeFile(path, bytes).ok);
  std::string read;
  ASSERT_TRUE(ReadWholeFile(path, &read).ok);
  EXPECT_EQ(read, bytes);
  ASSERT_TRUE(WriteWholeFile(path, "").ok);
  ASSERT_TRUE(ReadWholeFile(path, &read).ok);
  EXPECT_EQ(read, "");
  EXPECT_EQ(Leftovers(dir_.path(), "x.mif"), std::vector<std::string>{});
}

TEST_F(FileIo, ReplacingKeepsTheFileMode) {
  std::string path = (dir_ / "x.mif").string();
  WriteFileBytes(path, "old");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(WriteWholeFile(path, "new").ok);
  EXPECT_EQ(ReadFileBytes(path), "new");
  EXPECT_EQ(fs::status(path).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(FileIo, WritingThroughALinkReplacesItsTarget) {
  fs::path target = dir_ / "target.mif";
  WriteFileBytes(target, "old");
  fs::create_symlink(target, dir_ / "link.mif");
  ASSERT_TRUE(WriteWholeFile((dir_ / "link.mif").string(), "new").ok);
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.mif"));
  EXPECT_EQ(ReadFileBytes(target), "new");
}

TEST_F(FileIo, FailedWritesNameTheReasonAndKeepTheOldFile) {
  std::string missing_folder = (dir_ / "missing" / "x.mif").string();
  FileStatus status = WriteWholeFile(missing_folder, "data");
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(status.reason, "No such file or directory");

  fs::create_directory(dir_ / "folder.mif");
  status = WriteWholeFile((dir_ / "folder.mif").string(), "data");
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(status.reason, "Is a directory");

  status = WriteWholeFile("/dev/full", std::string(100000, 'x'));
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(status.reason, "No space left on device");
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST_F(FileIo, ReadOnlyFolderLeavesTheExistingFileIntact) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write into a read-only folder";
  fs::path path = dir_ / "x.mif";
  WriteFileBytes(path, "old bytes");
  fs::permissions(dir_.path(), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(WriteWholeFile(path.string(), "new").ok);
  fs::permissions(dir_.path(), fs::perms::owner_all);
  EXPECT_EQ(ReadFileBytes(path), "old bytes");
}

TEST_F(FileIo, ADanglingLinkIsWrittenThrough) {
  fs::create_symlink("new.mif", dir_ / "link.mif");
  ASSERT_TRUE(WriteWholeFile((dir_ / "link.mif").string(), "data").ok);
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.mif"));
  EXPECT_EQ(ReadFileBytes(dir_ / "new.mif"), "data");
}

// What `check` says, run as the user nobody when run as root, so that file permissions apply.
template <typename Check>
bool AsAnOrdinaryUser(const fs::path& folder, Check check) {
  if (geteuid() != 0) return check();
  fs::permissions(folder, fs::perms::all);
  pid_t child = fork();
  if (child == 0) _exit(setgid(65534) == 0 && setuid(65534) == 0 && check() ? 0 : 1);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(FileIo, AFileTheUserMayNotWriteIsNotReplaced) {
  fs::path path = dir_ / "read-only.mif";
  WriteFileBytes(path, "old bytes");
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_TRUE(AsAnOrdinaryUser(dir_.path(), [&] {
    FileStatus status = WriteWholeFile(path.string(), "new");
    return !status.ok && status.reason == "Permission denied";
  }));
  EXPECT_EQ(ReadFileBytes(path), "old bytes");
}

TEST_F(FileIo, ReplacingKeepsTheOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
  fs::path path = dir_ / "theirs.mif";
  WriteFileBytes(path, "old");
  ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  ASSERT_TRUE(WriteWholeFile(path.string(), "new").ok);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
}

TEST_F(FileIo, ReadFailuresNameTheReason) {
  std::string bytes = "stale";
  FileStatus status = ReadWholeFile((dir_ / "none.kml").string(), &bytes);
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(status.reason, "No such file or directory");
  EXPECT_EQ(bytes, "");
  status = ReadWholeFile(dir_.path().string(), &bytes);
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(status.reason, "Is a directory");
}

TEST_F(FileIo, DevicesAreWrittenInPlace) {
  ASSERT_TRUE(WriteWholeFile("/dev/null", "data").ok);
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}
