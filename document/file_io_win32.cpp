#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <new>
#include <utility>

#include "document/file_io.h"
#include "document/file_io_platform.h"
#include "document/temporary_files.h"

namespace {

FileStatus FromLastError() {
  DWORD code = GetLastError();
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason = length > 0 ? std::string(text, length) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' ')) {
    reason.pop_back();
  }
  return FileStatus::Failed(reason);
}

struct HandleCloser {
  HANDLE h;
  ~HandleCloser() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

FileStatus ReadAll(HANDLE h, std::string* bytes) {
  std::string data;
  LARGE_INTEGER size;
  bool sized = GetFileType(h) == FILE_TYPE_DISK && GetFileSizeEx(h, &size);
  // More than the file holds, so that the end shows without growing the buffer.
  data.resize((sized ? static_cast<size_t>(size.QuadPart) : 0) + 64 * 1024);
  size_t filled = 0;
  for (;;) {
    if (filled == data.size()) data.resize(data.size() * 2);
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - filled, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(h, data.data() + filled, chunk, &got, nullptr)) {
      if (GetLastError() == ERROR_BROKEN_PIPE) break;  // the writer of a pipe has finished
      return FromLastError();
    }
    if (got == 0) break;
    filled += got;
  }
  data.resize(filled);
  *bytes = std::move(data);
  return {};
}

FileStatus WriteAll(HANDLE h, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
    DWORD put = 0;
    if (!WriteFile(h, bytes.data(), chunk, &put, nullptr)) return FromLastError();
    bytes.remove_prefix(put);
  }
  return {};
}


// Devices such as NUL or CON are written in place; they cannot be renamed over.
bool IsDevice(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool device = GetFileType(h) != FILE_TYPE_DISK;
  CloseHandle(h);
  return device;
}

}  // namespace

FileStatus ReadWholeFileOrThrow(const std::string& path, std::string* bytes) {
  bytes->clear();
  HandleCloser file{CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (file.h == INVALID_HANDLE_VALUE) return FromLastError();
  return ReadAll(file.h, bytes);
}

FileStatus ReadStandardInputOrThrow(std::string* bytes) {
  bytes->clear();
  return ReadAll(GetStdHandle(STD_INPUT_HANDLE), bytes);
}

namespace {

HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
intptr_t FromHandle(HANDLE h) { return reinterpret_cast<intptr_t>(h); }

}  // namespace

FileReplacement::~FileReplacement() { Abandon(); }

namespace {

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

FileStatus FileReplacement::Open(const std::string& path) {
  Abandon();
  target_ = path;
  if (IsFolder(path)) {
    SetLastError(ERROR_DIRECTORY);
    return FromLastError();
  }
  if (IsDevice(path)) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FromLastError();
    in_place_ = true;
    handle_ = FromHandle(h);
    return {};
  }
  folder_ = FolderOf(path);
  // GetTempFileName says "the directory name is invalid" for a folder that is not there.
  if (!IsFolder(folder_)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FromLastError();
  }
  char temporary[MAX_PATH + 16];
  if (GetTempFileNameA(folder_.c_str(), "gv", 0, temporary) == 0) return FromLastError();
  temporary_ = temporary;
  HANDLE h = CreateFileA(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    FileStatus status = FromLastError();
    Abandon();
    return status;
  }
  handle_ = FromHandle(h);
  // An open file cannot be deleted: the record holds the handle, so that an interrupted run
  // closes it before it removes the file.
  record_ = std::make_unique<TemporaryFileRecord>(temporary_.c_str(), handle_);
  return {};
}

FileStatus FileReplacement::Write(std::string_view bytes) {
  if (handle_ == FromHandle(INVALID_HANDLE_VALUE)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FromLastError();
  }
  FileStatus status = WriteAll(AsHandle(handle_), bytes);
  if (!status.ok) Abandon();
  return status;
}

namespace {

// Closes the handle unless an interrupted run's clean-up has closed it already.
bool CloseOnce(intptr_t& handle, const std::unique_ptr<TemporaryFileRecord>& record) {
  intptr_t h = std::exchange(handle, FromHandle(INVALID_HANDLE_VALUE));
  if (record) h = record->TakeHandle();
  return h == -1 || CloseHandle(AsHandle(h));
}

}  // namespace

FileStatus FileReplacement::Commit() {
  if (handle_ == FromHandle(INVALID_HANDLE_VALUE)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FromLastError();
  }
  FileStatus status;
  if (!CloseOnce(handle_, record_)) status = FromLastError();
  if (status.ok && !in_place_ &&
      !MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    status = FromLastError();
  }
  if (status.ok) temporary_.clear();
  Abandon();
  return status;
}

void FileReplacement::Abandon() {
  if (handle_ != FromHandle(INVALID_HANDLE_VALUE)) CloseOnce(handle_, record_);
  if (!temporary_.empty()) DeleteFileA(temporary_.c_str());
  temporary_.clear();
  record_.reset();
  in_place_ = false;
}

FileStatus WriteStandardOutput(std::string_view bytes) {
  return WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), bytes);
}

void RemoveTemporaryFiles() {
  TemporaryFileRecord::RemoveAll([](const char* path, intptr_t handle) {
    if (handle != -1) CloseHandle(AsHandle(handle));
    DeleteFileA(path);
  });
}

FileStatus OutOfMemory() {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return FromLastError();
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    BY_HANDLE_FILE_INFORMATION info;
    bool known = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (known) {
      uint64_t index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
      return FileIdentity{info.dwVolumeSerialNumber, index, ""};
    }
  }
  std::string folder = FolderOf(path);
  std::optional<FileIdentity> identity = IsFolder(folder) ? IdentityOf(folder) : std::nullopt;
  if (!identity) return std::nullopt;
  // File names differ only by more than letter case here.
  identity->name = path.substr(path.find_last_of("/\\") == std::string::npos ? 0 : path.find_last_of("/\\") + 1);
  for (char& c : identity->name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return identity;
}

PathKind KindOf(const std::string& path) {
  if (IsFolder(path)) return PathKind::kFolder;
  if (IsDevice(path)) return PathKind::kOther;
  return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES ? PathKind::kMissing : PathKind::kFile;
}
