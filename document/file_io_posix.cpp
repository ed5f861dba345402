#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "document/file_io.h"
#include "document/file_io_platform.h"
#include "document/temporary_files.h"

namespace {

FileStatus FromErrno() { return FileStatus::Failed(std::strerror(errno)); }

FileStatus ReadAll(int fd, std::string* bytes) {
  struct stat st;
  size_t expected = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<size_t>(st.st_size) : 0;
  std::string data;
  // One byte more than the file holds, so that the end shows without growing the buffer.
  data.resize(expected + 64 * 1024);
  size_t filled = 0;
  for (;;) {
    if (filled == data.size()) data.resize(data.size() * 2);
    ssize_t got = read(fd, data.data() + filled, data.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      return FromErrno();
    }
    if (got == 0) break;
    filled += static_cast<size_t>(got);
  }
  data.resize(filled);
  *bytes = std::move(data);
  return {};
}

FileStatus WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t put = write(fd, bytes.data(), bytes.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      return FromErrno();
    }
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return {};
}


mode_t NewFileMode() {
  static const mode_t mask = [] {
    mode_t m = umask(0);
    umask(m);
    return m;
  }();
  return 0666 & ~mask;
}

}  // namespace

FileStatus ReadWholeFileOrThrow(const std::string& path, std::string* bytes) {
  bytes->clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FromErrno();
  FileStatus status = ReadAll(fd, bytes);
  close(fd);
  return status;
}

FileStatus ReadStandardInputOrThrow(std::string* bytes) {
  bytes->clear();
  return ReadAll(STDIN_FILENO, bytes);
}

FileReplacement::~FileReplacement() { Abandon(); }

FileStatus FileReplacement::Open(const std::string& path) {
  Abandon();
  target_ = path;
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Replace the file the link points to, not the link.
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved)) target_ = resolved;
  }
  mode_t mode = NewFileMode();
  if (stat(target_.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return FileStatus::Failed(std::strerror(EISDIR));
    if (!S_ISREG(st.st_mode)) {
      handle_ = open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
      return handle_ < 0 ? FromErrno() : FileStatus();
    }
    mode = st.st_mode & 07777;
  }
  size_t slash = target_.rfind('/');
  size_t name = slash == std::string::npos ? 0 : slash + 1;
  temporary_ = target_.substr(0, name) + "." + target_.substr(name) + ".tmp-XXXXXX";
  int fd = mkostemp(temporary_.data(), O_CLOEXEC);
  if (fd < 0) {
    temporary_.clear();
    return FromErrno();
  }
  handle_ = fd;
  record_ = std::make_unique<TemporaryFileRecord>(temporary_.c_str());
  if (fchmod(fd, mode) != 0) {
    FileStatus status = FromErrno();
    Abandon();
    return status;
  }
  return {};
}

FileStatus FileReplacement::Write(std::string_view bytes) {
  if (handle_ < 0) return FileStatus::Failed(std::strerror(EBADF));
  FileStatus status = WriteAll(static_cast<int>(handle_), bytes);
  if (!status.ok) Abandon();
  return status;
}

FileStatus FileReplacement::Commit() {
  if (handle_ < 0) return FileStatus::Failed(std::strerror(EBADF));
  FileStatus status;
  if (close(static_cast<int>(std::exchange(handle_, -1))) != 0) status = FromErrno();
  if (status.ok && !temporary_.empty() && rename(temporary_.c_str(), target_.c_str()) != 0) {
    status = FromErrno();
  }
  if (status.ok) temporary_.clear();
  Abandon();
  return status;
}

void FileReplacement::Abandon() {
  if (handle_ >= 0) close(static_cast<int>(std::exchange(handle_, -1)));
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
  record_.reset();
}

FileStatus WriteStandardOutput(std::string_view bytes) { return WriteAll(STDOUT_FILENO, bytes); }

void RemoveTemporaryFiles() {
  TemporaryFileRecord::RemoveAll([](const char* path) { unlink(path); });
}

FileStatus OutOfMemory() { return FileStatus::Failed(std::strerror(ENOMEM)); }
