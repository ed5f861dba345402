#include "document/file_io.h"

#include <new>

#include "document/file_io_platform.h"

namespace {

// A file larger than the memory that can be had is a failure like any other.
template <typename Read>
FileStatus ReadGuarded(std::string* bytes, Read read) {
  try {
    return read();
  } catch (const std::bad_alloc&) {
    bytes->clear();
    return OutOfMemory();
  }
}

}  // namespace

FileStatus ReadWholeFile(const std::string& path, std::string* bytes) {
  return ReadGuarded(bytes, [&] { return ReadWholeFileOrThrow(path, bytes); });
}

FileStatus ReadStandardInput(std::string* bytes) {
  return ReadGuarded(bytes, [&] { return ReadStandardInputOrThrow(bytes); });
}

FileStatus WriteWholeFile(const std::string& path, std::string_view bytes) {
  FileReplacement file;
  FileStatus status = file.Open(path);
  if (status.ok) status = file.Write(bytes);
  if (status.ok) status = file.Commit();
  return status;
}
