#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdio.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

namespace {

// `path` with its links followed to the name they lead to, whether that file exists or not.
bool ResolveLinks(std::string& path) {
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    std::string link(PATH_MAX, '\0');
    ssize_t length = readlink(path.c_str(), link.data(), link.size());
    if (length < 0) return false;
    link.resize(static_cast<size_t>(length));
    size_t slash = path.rfind('/');
    if (link.empty() || link[0] != '/') link.insert(0, slash == std::string::npos ? "" : path.substr(0, slash + 1));
    path = std::move(link);
  }
  errno = ELOOP;
  return false;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A name of 13 bytes in `folder`, so that it fits wherever the target's name fits.
std::string ShortTemporaryName(const std::string& folder) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char random[8];
  if (getrandom(random, sizeof random, 0) != sizeof random) {
    uint64_t fallback = static_cast<uint64_t>(getpid()) * 2654435761u ^ static_cast<uint64_t>(clock());
    std::memcpy(random, &fallback, sizeof random);
  }
  std::string name = folder + "/.gv";
  for (unsigned char r : random) name += kLetters[r % (sizeof kLetters - 1)];
  return name + ".tmp";
}

// The owner of the file being replaced, where the user may give it; otherwise the file
// belongs to the user, as any new file does.
void KeepOwner(int fd, const struct stat& old) {
  if (old.st_uid == geteuid() && old.st_gid == getegid()) return;
  if (fchown(fd, old.st_uid, old.st_gid) != 0 && fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
    // Not allowed: keeping the owner is a courtesy, not a condition of the write.
  }
}

// Gives the unnamed file at `fd` the name `path`.
bool LinkUnnamed(int fd, const std::string& path) {
  std::string proc = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  if (errno != ENOENT) return false;
  return linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0;  // without /proc
}

}  // namespace

FileReplacement::~FileReplacement() { Abandon(); }

FileStatus FileReplacement::Open(const std::string& path) {
  Abandon();
  target_ = path;
  if (!ResolveLinks(target_)) return FromErrno();
  struct stat old;
  const bool exists = stat(target_.c_str(), &old) == 0;
  mode_t mode = NewFileMode();
  if (exists) {
    if (S_ISDIR(old.st_mode)) return FileStatus::Failed(std::strerror(EISDIR));
    if (!S_ISREG(old.st_mode)) {
      in_place_ = true;
      handle_ = open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
      return handle_ < 0 ? FromErrno() : FileStatus();
    }
    // The rename would replace a file that the user may not write, as cp would not.
    if (faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) return FromErrno();
    mode = old.st_mode & 07777;
  }
  folder_ = FolderOf(target_);
  int fd = open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd >= 0) {
    unnamed_ = true;
  } else if (errno == EISDIR || errno == EOPNOTSUPP || errno == EINVAL) {
    // This file system has no unnamed files: a hidden one, removed on the signals we handle.
    temporary_ = folder_ + "/.gvXXXXXX";
    fd = mkostemp(temporary_.data(), O_CLOEXEC);
    if (fd < 0) {
      temporary_.clear();
      return FromErrno();
    }
    record_ = std::make_unique<TemporaryFileRecord>(temporary_.c_str(), -1);
  } else {
    return FromErrno();
  }
  handle_ = fd;
  if (exists) KeepOwner(fd, old);  // before the mode: a new owner clears set-id bits
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

FileStatus FileReplacement::OverwriteStart(std::string_view bytes) {
  if (handle_ < 0 || !Rewindable()) return FileStatus::Failed(std::strerror(EBADF));
  for (off_t offset = 0; !bytes.empty();) {
    ssize_t put = pwrite(static_cast<int>(handle_), bytes.data(), bytes.size(), offset);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) {
      FileStatus status = FromErrno();
      Abandon();
      return status;
    }
    bytes.remove_prefix(static_cast<size_t>(put));
    offset += put;
  }
  return {};
}

FileStatus FileReplacement::Restart() {
  if (handle_ < 0 || !Rewindable()) return FileStatus::Failed(std::strerror(EBADF));
  if (ftruncate(static_cast<int>(handle_), 0) == 0 && lseek(static_cast<int>(handle_), 0, SEEK_SET) == 0) return {};
  FileStatus status = FromErrno();
  Abandon();
  return status;
}

FileStatus FileReplacement::OpenRemoval(const std::string& path) {
  Abandon();
  // The name goes, not what a link of that name leads to: a file in another folder is not ours.
  target_ = path;
  folder_ = FolderOf(target_);
  removal_ = true;
  return {};
}

FileStatus FileReplacement::Finish() {
  if (removal_) return {};
  if (handle_ < 0) return FileStatus::Failed(std::strerror(EBADF));
  FileStatus status;
  if (unnamed_) {
    // The finished file gets a short name of its own, which the rename then puts in place.
    bool linked = false;
    for (int attempt = 0; attempt < 100 && !linked; ++attempt) {
      temporary_ = ShortTemporaryName(folder_);
      linked = LinkUnnamed(static_cast<int>(handle_), temporary_);
      if (!linked && errno != EEXIST) break;
    }
    if (linked) {
      unnamed_ = false;
      record_ = std::make_unique<TemporaryFileRecord>(temporary_.c_str(), -1);
    } else {
      status = FromErrno();
      temporary_.clear();
    }
  }
  if (close(static_cast<int>(std::exchange(handle_, -1))) != 0 && status.ok) status = FromErrno();
  if (!status.ok) Abandon();
  return status;
}

namespace {

// A free name beside `folder`'s files for a file put aside.
std::string FreeName(const std::string& folder) {
  std::string name;
  struct stat st;
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = ShortTemporaryName(folder);
    if (lstat(name.c_str(), &st) != 0) break;
  }
  return name;
}

}  // namespace

FileStatus FileReplacement::Place(bool undoable) {
  if (in_place_) return {};
  if (removal_) {
    struct stat st;
    if (lstat(target_.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) return {};  // nothing to take away
    if (!undoable) return unlink(target_.c_str()) == 0 ? FileStatus() : FromErrno();
    std::string aside = FreeName(folder_);
    if (rename(target_.c_str(), aside.c_str()) != 0) return FromErrno();
    aside_ = std::move(aside);
    return {};
  }
  if (undoable) {
    // The new file and the old one swap names: the old one stays whole, under the
    // temporary name, until Settle or Restore.
    if (renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) == 0) {
      record_.reset();  // the name now holds the old file: no signal may remove it
      aside_ = std::exchange(temporary_, std::string());
      return {};
    }
    if (errno == ENOENT) {
      placed_new_ = true;
    } else if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
      // A file system that cannot swap: the old file is moved aside first.
      std::string aside = FreeName(folder_);
      if (rename(target_.c_str(), aside.c_str()) != 0) return FromErrno();
      if (rename(temporary_.c_str(), target_.c_str()) != 0) {
        FileStatus status = FromErrno();
        rename(aside.c_str(), target_.c_str());
        return status;
      }
      temporary_.clear();
      record_.reset();
      aside_ = std::move(aside);
      return {};
    } else {
      return FromErrno();
    }
  }
  if (rename(temporary_.c_str(), target_.c_str()) != 0) return FromErrno();
  temporary_.clear();
  record_.reset();
  return {};
}

void FileReplacement::Restore() {
  if (in_place_) return;
  if (!aside_.empty()) {
    // Removed files come back; replaced ones swap back, and the new file goes.
    if (removal_ || renameat2(AT_FDCWD, aside_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) != 0) {
      if (rename(aside_.c_str(), target_.c_str()) == 0) aside_.clear();
      return;
    }
    unlink(aside_.c_str());
    aside_.clear();
  } else if (placed_new_) {
    unlink(target_.c_str());
    placed_new_ = false;
  }
}

void FileReplacement::Settle() {
  if (!aside_.empty()) unlink(aside_.c_str());
  aside_.clear();
  placed_new_ = false;
}

FileStatus FileReplacement::Commit() {
  FileStatus status = Finish();
  if (status.ok) status = Place(/*undoable=*/false);
  Abandon();
  return status;
}

void FileReplacement::Abandon() {
  if (handle_ >= 0) close(static_cast<int>(std::exchange(handle_, -1)));
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
  record_.reset();
  unnamed_ = false;
  in_place_ = false;
  removal_ = false;
}

FileStatus WriteStandardOutput(std::string_view bytes) { return WriteAll(STDOUT_FILENO, bytes); }

void RemoveTemporaryFiles() {
  TemporaryFileRecord::RemoveAll([](const char* path, intptr_t) { unlink(path); });
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return FileIdentity{st.st_dev, st.st_ino, ""};
  std::string folder = FolderOf(path);
  if (stat(folder.c_str(), &st) != 0) return std::nullopt;
  size_t slash = path.rfind('/');
  return FileIdentity{st.st_dev, st.st_ino, path.substr(slash == std::string::npos ? 0 : slash + 1)};
}

namespace {

bool IsDescriptorName(const std::string& path) {
  char resolved[PATH_MAX];
  std::string folder = FolderOf(path);
  if (realpath(folder.c_str(), resolved) && std::string_view(resolved).substr(0, 6) == "/proc/") return true;
  char link[PATH_MAX];
  ssize_t length = readlink(path.c_str(), link, sizeof link);
  return length >= 6 && std::string_view(link, 6) == "/proc/";
}

}  // namespace

PathKind KindOf(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return PathKind::kMissing;
  if (IsDescriptorName(path)) return PathKind::kOther;
  if (S_ISREG(st.st_mode)) return PathKind::kFile;
  return S_ISDIR(st.st_mode) ? PathKind::kFolder : PathKind::kOther;
}

FileStatus OutOfMemory() { return FileStatus::Failed(std::strerror(ENOMEM)); }

std::optional<std::vector<std::string>> FolderEntries(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return std::nullopt;
  const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
  std::vector<std::string> paths;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") paths.push_back(prefix + std::string(name));
  }
  closedir(dir);
  return paths;
}

std::FILE* OpenScratchFile() { return std::tmpfile(); }
