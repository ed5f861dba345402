#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "document/file_io.h"

// The bytes of an input, read whole: a regular file is mapped into memory (no copy and no
// zero fill; pages are read as they are touched), anything else (standard input, a pipe, a
// device) is read into memory.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // "-" is standard input.
  FileStatus Open(const std::string& path);
  std::string_view bytes() const { return mapped_ ? std::string_view(mapped_, size_) : std::string_view(read_); }

 private:
  void Close();

  const char* mapped_ = nullptr;
  size_t size_ = 0;
#ifdef _WIN32
  intptr_t mapping_ = 0;  // the file mapping object
#endif
  std::string read_;
};
