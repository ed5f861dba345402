// Files on Windows through the W functions: the program's paths are UTF-8 and become UTF-16
// here, so that a name with any character opens and writes whatever the system code page.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <new>
#include <utility>

#include "document/file_io.h"
#include "document/file_io_platform.h"
#include "document/temporary_files.h"
#include "document/wide_text_win32.h"

namespace {

FileStatus FromLastError() {
  DWORD code = GetLastError();
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason = length > 0 ? WideToUtf8(std::wstring_view(text, length)) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' ')) {
    reason.pop_back();
  }
  return FileStatus::Failed(reason);
}

FileStatus Failed(DWORD code) {
  SetLastError(code);
  return FromLastError();
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
bool IsDevice(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool device = GetFileType(h) != FILE_TYPE_DISK;
  CloseHandle(h);
  return device;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring FolderOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"/\\");
  return slash == std::wstring::npos ? L"." : path.substr(0, slash + 1);
}

// A new empty file with a short name in `folder`, made to be replaced.
bool MakeTemporaryName(const std::wstring& folder, std::wstring* name) {
  wchar_t temporary[MAX_PATH + 16];
  if (GetTempFileNameW(folder.c_str(), L"gv", 0, temporary) == 0) return false;
  *name = temporary;
  return true;
}

HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
intptr_t FromHandle(HANDLE h) { return reinterpret_cast<intptr_t>(h); }

// Closes the handle unless an interrupted run's clean-up has closed it already.
bool CloseOnce(intptr_t& handle, const std::unique_ptr<TemporaryFileRecord>& record) {
  intptr_t h = std::exchange(handle, FromHandle(INVALID_HANDLE_VALUE));
  if (record) h = record->TakeHandle();
  return h == -1 || CloseHandle(AsHandle(h));
}

// Moves `target` to a new temporary name in `folder`, kept in `aside`: the old file goes aside
// whole, and a file that another program holds open fails here, before anything has changed.
FileStatus MoveAside(const std::wstring& folder, const std::wstring& target, std::wstring* aside) {
  if (!MakeTemporaryName(folder, aside)) return FromLastError();
  if (MoveFileExW(target.c_str(), aside->c_str(), MOVEFILE_REPLACE_EXISTING)) return {};
  FileStatus status = FromLastError();
  DeleteFileW(aside->c_str());
  aside->clear();
  return status;
}

}  // namespace

FileStatus ReadWholeFileOrThrow(const std::string& path, std::string* bytes) {
  bytes->clear();
  HandleCloser file{CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (file.h == INVALID_HANDLE_VALUE) return FromLastError();
  return ReadAll(file.h, bytes);
}

FileStatus ReadStandardInputOrThrow(std::string* bytes) {
  bytes->clear();
  return ReadAll(GetStdHandle(STD_INPUT_HANDLE), bytes);
}

FileReplacement::~FileReplacement() { Abandon(); }

FileStatus FileReplacement::Open(const std::string& path) {
  Abandon();
  target_ = Utf8ToWide(path);
  if (IsFolder(target_)) return Failed(ERROR_DIRECTORY);
  if (IsDevice(target_)) {
    HANDLE h = CreateFileW(target_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FromLastError();
    in_place_ = true;
    handle_ = FromHandle(h);
    return {};
  }
  folder_ = FolderOf(target_);
  // GetTempFileName says "the directory name is invalid" for a folder that is not there.
  if (!IsFolder(folder_)) return Failed(ERROR_PATH_NOT_FOUND);
  if (!MakeTemporaryName(folder_, &temporary_)) return FromLastError();
  HANDLE h = CreateFileW(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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

FileStatus FileReplacement::OpenRemoval(const std::string& path) {
  Abandon();
  target_ = Utf8ToWide(path);
  folder_ = FolderOf(target_);
  removal_ = true;
  return {};
}

FileStatus FileReplacement::Write(std::string_view bytes) {
  if (handle_ == FromHandle(INVALID_HANDLE_VALUE)) return Failed(ERROR_INVALID_HANDLE);
  FileStatus status = WriteAll(AsHandle(handle_), bytes);
  if (!status.ok) Abandon();
  return status;
}

FileStatus FileReplacement::OverwriteStart(std::string_view bytes) {
  if (handle_ == FromHandle(INVALID_HANDLE_VALUE) || !Rewindable()) return Failed(ERROR_INVALID_HANDLE);
  HANDLE h = AsHandle(handle_);
  FileStatus status;
  if (!SetFilePointerEx(h, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) status = FromLastError();
  if (status.ok) status = WriteAll(h, bytes);
  if (status.ok && !SetFilePointerEx(h, LARGE_INTEGER{}, nullptr, FILE_END)) status = FromLastError();
  if (!status.ok) Abandon();
  return status;
}

FileStatus FileReplacement::Restart() {
  if (handle_ == FromHandle(INVALID_HANDLE_VALUE) || !Rewindable()) return Failed(ERROR_INVALID_HANDLE);
  HANDLE h = AsHandle(handle_);
  if (SetFilePointerEx(h, LARGE_INTEGER{}, nullptr, FILE_BEGIN) && SetEndOfFile(h)) return {};
  FileStatus status = FromLastError();
  Abandon();
  return status;
}

FileStatus FileReplacement::Finish() {
  if (removal_) return {};
  if (handle_ == FromHandle(INVALID_HANDLE_VALUE)) return Failed(ERROR_INVALID_HANDLE);
  if (CloseOnce(handle_, record_)) return {};
  FileStatus status = FromLastError();
  Abandon();
  return status;
}

FileStatus FileReplacement::Place(bool undoable) {
  if (in_place_) return {};
  if (removal_) {
    DWORD attributes = GetFileAttributesW(target_.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
    if (!undoable) return DeleteFileW(target_.c_str()) ? FileStatus() : FromLastError();
    std::wstring aside;
    FileStatus status = MoveAside(folder_, target_, &aside);
    if (status.ok) aside_ = std::move(aside);
    return status;
  }
  constexpr DWORD kReplace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (undoable && Exists(target_)) {
    std::wstring aside;
    if (FileStatus status = MoveAside(folder_, target_, &aside); !status.ok) return status;
    if (!MoveFileExW(temporary_.c_str(), target_.c_str(), kReplace)) {
      FileStatus status = FromLastError();
      MoveFileExW(aside.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING);
      return status;
    }
    aside_ = std::move(aside);
  } else {
    if (!MoveFileExW(temporary_.c_str(), target_.c_str(), kReplace)) return FromLastError();
    placed_new_ = undoable;
  }
  temporary_.clear();
  record_.reset();
  return {};
}

void FileReplacement::Restore() {
  if (in_place_) return;
  if (!aside_.empty()) {
    if (MoveFileExW(aside_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING)) aside_.clear();
  } else if (placed_new_) {
    DeleteFileW(target_.c_str());
    placed_new_ = false;
  }
}

void FileReplacement::Settle() {
  if (!aside_.empty()) DeleteFileW(aside_.c_str());
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
  if (handle_ != FromHandle(INVALID_HANDLE_VALUE)) CloseOnce(handle_, record_);
  if (!temporary_.empty()) DeleteFileW(temporary_.c_str());
  temporary_.clear();
  record_.reset();
  in_place_ = false;
  removal_ = false;
}

FileStatus WriteStandardOutput(std::string_view bytes) {
  return WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), bytes);
}

void RemoveTemporaryFiles() {
  TemporaryFileRecord::RemoveAll([](const wchar_t* path, intptr_t handle) {
    if (handle != -1) CloseHandle(AsHandle(handle));
    DeleteFileW(path);
  });
}

FileStatus OutOfMemory() { return Failed(ERROR_NOT_ENOUGH_MEMORY); }

namespace {

std::optional<FileIdentity> IdentityOfWide(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
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
  std::wstring folder = FolderOf(path);
  std::optional<FileIdentity> identity = IsFolder(folder) ? IdentityOfWide(folder) : std::nullopt;
  if (!identity) return std::nullopt;
  // File names differ only by more than letter case here.
  size_t slash = path.find_last_of(L"/\\");
  std::wstring name = path.substr(slash == std::wstring::npos ? 0 : slash + 1);
  CharLowerBuffW(name.data(), static_cast<DWORD>(name.size()));
  identity->name = WideToUtf8(name);
  return identity;
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) { return IdentityOfWide(Utf8ToWide(path)); }

PathKind KindOf(const std::string& path) {
  std::wstring wide = Utf8ToWide(path);
  if (IsFolder(wide)) return PathKind::kFolder;
  if (IsDevice(wide)) return PathKind::kOther;
  return Exists(wide) ? PathKind::kFile : PathKind::kMissing;
}

std::optional<std::vector<std::string>> FolderEntries(const std::string& folder) {
  const std::string prefix = folder.ends_with('\\') || folder.ends_with('/') ? folder : folder + "\\";
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(Utf8ToWide(prefix + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<std::string> paths;
  do {
    const std::wstring_view name = found.cFileName;
    if (name != L"." && name != L"..") paths.push_back(prefix + WideToUtf8(name));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return paths;
}

std::FILE* OpenScratchFile() {
  // Not tmpfile(): the C library's makes its file in the root of the current drive, which
  // users may not write.
  wchar_t folder[MAX_PATH + 1], path[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"gv", 0, path) == 0) return nullptr;
  HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DeleteFileW(path);
    return nullptr;
  }
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
  if (descriptor < 0) {
    CloseHandle(file);
    return nullptr;
  }
  std::FILE* stream = _fdopen(descriptor, "w+b");
  if (!stream) _close(descriptor);
  return stream;
}
