#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "document/file_io_platform.h"
#include "document/input_file.h"

InputFile::~InputFile() { Close(); }

void InputFile::Close() {
  if (mapped_) munmap(const_cast<char*>(mapped_), size_);
  mapped_ = nullptr;
  size_ = 0;
  read_.clear();
}

FileStatus InputFile::Open(const std::string& path) {
  Close();
  if (path == "-") return ReadStandardInput(&read_);
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FileStatus::Failed(std::strerror(errno));
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    void* mapped = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped != MAP_FAILED) {
      close(fd);
      mapped_ = static_cast<const char*>(mapped);
      size_ = static_cast<size_t>(st.st_size);
      return {};
    }
  }
  close(fd);
  return ReadWholeFile(path, &read_);  // a pipe, a device, or a file that cannot be mapped
}
