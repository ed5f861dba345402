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

FileStatus FileReplacement::Open(const std::string& path) {
  Abandon();
  target_ = path;
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetLastError(ERROR_DIRECTORY);
    return FromLastError();
  }
  if (IsDevice(path)) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FromLastError();
    handle_ = FromHandle(h);
    return {};
  }
  size_t slash = path.find_last_of("/\\");
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  char temporary[MAX_PATH + 16];
  if (GetTempFileNameA(folder.c_str(), "gv", 0, temporary) == 0) return FromLastError();
  temporary_ = temporary;
  record_ = std::make_unique<TemporaryFileRecord>(temporary_.c_str());
  HANDLE h = CreateFileA(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    FileStatus status = FromLastError();
    Abandon();
    return status;
  }
  handle_ = FromHandle(h);
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

FileStatus FileReplacement::Commit() {
  if (handle_ == FromHandle(INVALID_HANDLE_VALUE)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FromLastError();
  }
  FileStatus status;
  if (!CloseHandle(AsHandle(std::exchange(handle_, FromHandle(INVALID_HANDLE_VALUE))))) {
    status = FromLastError();
  }
  if (status.ok && !temporary_.empty() &&
      !MoveFileExA(temporary_.c_str(), target_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    status = FromLastError();
  }
  if (status.ok) temporary_.clear();
  Abandon();
  return status;
}

void FileReplacement::Abandon() {
  if (handle_ != FromHandle(INVALID_HANDLE_VALUE)) {
    CloseHandle(AsHandle(std::exchange(handle_, FromHandle(INVALID_HANDLE_VALUE))));
  }
  if (!temporary_.empty()) DeleteFileA(temporary_.c_str());
  temporary_.clear();
  record_.reset();
}

FileStatus WriteStandardOutput(std::string_view bytes) {
  return WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), bytes);
}

void RemoveTemporaryFiles() {
  TemporaryFileRecord::RemoveAll([](const char* path) { DeleteFileA(path); });
}

FileStatus OutOfMemory() {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return FromLastError();
}
