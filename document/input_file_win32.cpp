#include <windows.h>

#include "document/input_file.h"
#include "document/wide_text_win32.h"

InputFile::~InputFile() { Close(); }

void InputFile::Close() {
  if (mapped_) UnmapViewOfFile(mapped_);
  if (mapping_) CloseHandle(reinterpret_cast<HANDLE>(mapping_));
  mapped_ = nullptr;
  mapping_ = 0;
  size_ = 0;
  read_.clear();
}

FileStatus InputFile::Open(const std::string& path) {
  Close();
  if (path == "-") return ReadStandardInput(&read_);
  HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  LARGE_INTEGER size;
  if (file != INVALID_HANDLE_VALUE && GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) &&
      size.QuadPart > 0) {
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping) {
      if (const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) {
        CloseHandle(file);
        mapping_ = reinterpret_cast<intptr_t>(mapping);
        mapped_ = static_cast<const char*>(view);
        size_ = static_cast<size_t>(size.QuadPart);
        return {};
      }
      CloseHandle(mapping);
    }
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return ReadWholeFile(path, &read_);  // the reasons of a failed open come from the read
}
