#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "document/file_io.h"
#include "document/temporary_files.h"

namespace {

FileStatus FromErrno() { return FileStatus::Failed(std::strerror(errno)); }

FileStatus ReadAll(int fd, std::string* bytes) {
  struct stat st;
  size_t expected = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<size_t>(st.st_size) : 0;
  std::string data;
  data.resize(expected > 0 ? expected : 64 * 1024);
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

FileStatus WriteInPlace(const std::string& path, std::string_view bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return FromErrno();
  FileStatus status = WriteAll(fd, bytes);
  if (close(fd) != 0 && status.ok) status = FromErrno();
  return status;
}

FileStatus WriteThroughTemporary(const std::string& target, mode_t mode, std::string_view bytes) {
  size_t slash = target.rfind('/');
  std::string temporary = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  temporary += '.';
  temporary += slash == std::string::npos ? target : target.substr(slash + 1);
  temporary += ".tmp-XXXXXX";

  int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return FromErrno();
  TemporaryFileRecord record(temporary.c_str());
  FileStatus status;
  if (fchmod(fd, mode) != 0) status = FromErrno();
  if (status.ok) status = WriteAll(fd, bytes);
  if (close(fd) != 0 && status.ok) status = FromErrno();
  if (status.ok && rename(temporary.c_str(), target.c_str()) != 0) status = FromErrno();
  if (!status.ok) unlink(temporary.c_str());
  return status;
}

}  // namespace

FileStatus ReadWholeFile(const std::string& path, std::string* bytes) {
  bytes->clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FromErrno();
  FileStatus status = ReadAll(fd, bytes);
  close(fd);
  return status;
}

FileStatus ReadStandardInput(std::string* bytes) {
  bytes->clear();
  return ReadAll(STDIN_FILENO, bytes);
}

FileStatus WriteWholeFile(const std::string& path, std::string_view bytes) {
  std::string target = path;
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Replace the file the link points to, not the link.
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved)) target = resolved;
  }
  if (stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return FileStatus::Failed(std::strerror(EISDIR));
    if (!S_ISREG(st.st_mode)) return WriteInPlace(target, bytes);
    return WriteThroughTemporary(target, st.st_mode & 07777, bytes);
  }
  return WriteThroughTemporary(target, NewFileMode(), bytes);
}

FileStatus WriteStandardOutput(std::string_view bytes) { return WriteAll(STDOUT_FILENO, bytes); }

void RemoveTemporaryFiles() {
  TemporaryFileRecord::RemoveAll([](const char* path) { unlink(path); });
}
