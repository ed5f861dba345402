#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "document/temporary_files.h"

// The outcome of a whole-file read or write; `reason` is the system's own words.
struct FileStatus {
  bool ok = true;
  std::string reason;

  static FileStatus Failed(std::string reason) { return {false, std::move(reason)}; }
};

// A temporary file of the system's temporary folder, opened for reading and writing in binary
// mode, which is gone once it is closed (or the program ends); null when none can be made.
std::FILE* OpenScratchFile();

// All bytes of the file at `path`, read in binary mode. On failure `bytes` is empty.
FileStatus ReadWholeFile(const std::string& path, std::string* bytes);
FileStatus ReadStandardInput(std::string* bytes);

// Makes the file at `path` hold exactly `bytes`. A regular file (or a missing one) is
// replaced through a temporary file in its folder, so that a failed write leaves neither a
// partial file nor a damaged old one; anything else (a device, a pipe) is written in place.
// A link is written through, to the file it names (which need not exist yet). A file that
// the user may not write is not replaced: that is a failed write. The new file keeps the old
// one's mode, and its owner where the user may give it.
FileStatus WriteWholeFile(const std::string& path, std::string_view bytes);

// The same replacement, with the bytes given in pieces:
//   FileReplacement out;
//   if (out.Open(path).ok && out.Write(a).ok && out.Write(b).ok) status = out.Commit();
// Until Commit the old file is untouched; a replacement that is not committed leaves nothing.
// On Linux the new file has no name until it is complete, so that even a killed program
// leaves nothing behind; elsewhere it is a hidden file with a short name in the target's
// folder, removed by RemoveTemporaryFiles.
class FileReplacement {
 public:
  FileReplacement() = default;
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  FileStatus Open(const std::string& path);
  // Instead of a new file: `path` is to go, if it is a file, when this is committed together
  // with others (a MID file that no longer belongs to its MIF file).
  FileStatus OpenRemoval(const std::string& path);
  FileStatus Write(std::string_view bytes);
  // Whether what was written can be gone over again: a new file, not a device or a pipe
  // written in place.
  bool Rewindable() const { return !in_place_ && !removal_; }
  // Writes `bytes` over as many at the start of the new file; writing goes on at its end.
  FileStatus OverwriteStart(std::string_view bytes);
  // Empties the new file, to write it again.
  FileStatus Restart();
  FileStatus Commit();

 private:
  friend FileStatus CommitTogether(const std::vector<FileReplacement*>& files, size_t* failed);
  FileStatus Finish();             // the new file complete, under a name of its own
  FileStatus Place(bool undoable);  // the new file at the target; with `undoable`, the old one kept aside
  void Restore();                  // after Place(true): the old file back, the new one gone
  void Settle();                   // after Place(true): the old file kept aside removed
  void Abandon();

  NativePath target_;
  NativePath folder_;
  NativePath temporary_;  // the name of the new file until it replaces the target
  NativePath aside_;      // after Place(true): the old file, until Settle or Restore
  bool unnamed_ = false;   // Linux: the new file has no name yet
  bool in_place_ = false;  // a device or a pipe: written directly
  bool removal_ = false;   // OpenRemoval: the target goes
  bool placed_new_ = false;  // Place(true) found no old file
  intptr_t handle_ = -1;   // a descriptor, or a HANDLE on Windows
  std::unique_ptr<TemporaryFileRecord> record_;
};

// Commits several replacements as one: each is prepared first, then they are put in place in
// order, and when one cannot be, those already in place get their old files back and every
// new file is dropped. So every target is left as it was, or all are new. A terminating signal
// that arrives while they are put in place (TerminationMayProceed) puts the old files back
// too; only a SIGKILL between two of the renames, microseconds apart, leaves some old and some
// new (the old ones kept as hidden files beside them). On failure `failed` is the index of the
// one that failed.
FileStatus CommitTogether(const std::vector<FileReplacement*>& files, size_t* failed);

// Writes each (path, bytes) as WriteWholeFile does, all as one (CommitTogether), and takes
// `remove` away in the same step when it names a file. On failure `failed` is the path whose
// step failed.
FileStatus WriteFilesTogether(const std::vector<std::pair<std::string, std::string_view>>& files,
                              const std::string& remove, std::string* failed);

FileStatus WriteStandardOutput(std::string_view bytes);

// Who a path names, so that two names of one file compare equal: an existing file by its
// device and inode (on Windows its volume and file index), a name not yet taken by its
// folder's and its own. nullopt when neither the file nor its folder exists.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  std::string name;  // empty for an existing file
  bool operator==(const FileIdentity&) const = default;
};
std::optional<FileIdentity> IdentityOf(const std::string& path);

// kOther: a device, a pipe, or a name of one of this program's own descriptors (/dev/stdin,
// /dev/fd/3, /proc/self/fd/0), whatever it leads to.
enum class PathKind { kMissing, kFile, kFolder, kOther };
PathKind KindOf(const std::string& path);

// The .kml and .kmz files (in any letter case) in `folder` and in its folders, in the byte
// order of their paths; nullopt when `folder` cannot be read. A folder inside that cannot be
// read is passed over.
std::optional<std::vector<std::string>> KmlFilesIn(const std::string& folder);

// Removes the temporary files of writes under way. Safe to call from a signal handler, so
// that an interrupted run leaves nothing behind.
void RemoveTemporaryFiles();

// What a handler of a terminating signal asks first: false while files are being put in
// place together (CommitTogether), which then puts back the old ones it has replaced and ends
// the program with `signal_number` itself; true when the handler is to end it. Safe to call
// from a signal handler.
bool TerminationMayProceed(int signal_number);
