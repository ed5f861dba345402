#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "document/temporary_files.h"

// The outcome of a whole-file read or write; `reason` is the system's own words.
struct FileStatus {
  bool ok = true;
  std::string reason;

  static FileStatus Failed(std::string reason) { return {false, std::move(reason)}; }
};

// All bytes of the file at `path`, read in binary mode. On failure `bytes` is empty.
FileStatus ReadWholeFile(const std::string& path, std::string* bytes);
FileStatus ReadStandardInput(std::string* bytes);

// Makes the file at `path` hold exactly `bytes`. A regular file (or a missing one) is
// replaced through a temporary file in its folder, so that a failed write leaves neither a
// partial file nor a damaged old one; anything else (a device, a pipe) is written in place.
FileStatus WriteWholeFile(const std::string& path, std::string_view bytes);

// The same replacement, with the bytes given in pieces:
//   FileReplacement out;
//   if (out.Open(path).ok && out.Write(a).ok && out.Write(b).ok) status = out.Commit();
// Until Commit the old file is untouched; a replacement that is not committed leaves nothing.
class FileReplacement {
 public:
  FileReplacement() = default;
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  FileStatus Open(const std::string& path);
  FileStatus Write(std::string_view bytes);
  FileStatus Commit();

 private:
  void Abandon();

  std::string target_;
  std::string temporary_;  // empty when writing in place
  intptr_t handle_ = -1;   // a descriptor, or a HANDLE on Windows
  std::unique_ptr<TemporaryFileRecord> record_;
};

FileStatus WriteStandardOutput(std::string_view bytes);

// Removes the temporary files of writes under way. Safe to call from a signal handler, so
// that an interrupted run leaves nothing behind.
void RemoveTemporaryFiles();
