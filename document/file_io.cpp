#include "document/file_io.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <new>

#include "document/file_io_platform.h"

void (*g_after_placing_for_testing)(size_t) = nullptr;

namespace {

// The terminating signal that arrived, 0 for none, and how many commits are under way: a
// commit looks at the first after it has counted itself, and a handler at the second after it
// has set the first, so that one of them sees the other.
std::atomic<int> g_terminating{0};
std::atomic<int> g_commits{0};

// Leaves a commit; the last one to leave after a terminating signal ends the program with it.
void LeaveCommit() {
  const int signal_number = g_terminating.load();
  if (g_commits.fetch_sub(1) != 1 || signal_number == 0) return;
  RemoveTemporaryFiles();
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

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

bool TerminationMayProceed(int signal_number) {
  g_terminating.store(signal_number);
  return g_commits.load() == 0;
}

FileStatus CommitTogether(const std::vector<FileReplacement*>& files, size_t* failed) {
  auto abandon_all = [&] {
    for (FileReplacement* file : files) file->Abandon();
  };
  g_commits.fetch_add(1);
  struct Leave {
    ~Leave() { LeaveCommit(); }
  } leave;
  for (size_t i = 0; i < files.size(); ++i) {
    FileStatus status = files[i]->Finish();
    if (!status.ok) {
      *failed = i;
      abandon_all();
      return status;
    }
  }
  for (size_t i = 0; i < files.size(); ++i) {
    FileStatus status = files[i]->Place(/*undoable=*/true);
    if (status.ok && g_after_placing_for_testing) g_after_placing_for_testing(i);
    // An interrupted commit puts back what it has replaced, as a failed one does.
    const bool interrupted = g_terminating.load() != 0;
    if (!status.ok || interrupted) {
      *failed = i;
      for (size_t j = status.ok ? i + 1 : i; j-- > 0;) files[j]->Restore();
      abandon_all();
      return status.ok ? FileStatus::Failed("interrupted") : status;
    }
  }
  for (FileReplacement* file : files) file->Settle();
  abandon_all();
  return {};
}

FileStatus WriteFilesTogether(const std::vector<std::pair<std::string, std::string_view>>& files,
                              const std::string& remove, std::string* failed) {
  std::vector<FileReplacement> replacements(files.size() + (remove.empty() ? 0 : 1));
  std::vector<FileReplacement*> all;
  for (size_t i = 0; i < files.size(); ++i) {
    FileStatus status = replacements[i].Open(files[i].first);
    if (status.ok) status = replacements[i].Write(files[i].second);
    if (!status.ok) {
      *failed = files[i].first;
      return status;
    }
    all.push_back(&replacements[i]);
  }
  if (!remove.empty()) {
    FileStatus status = replacements.back().OpenRemoval(remove);
    if (!status.ok) {
      *failed = remove;
      return status;
    }
    all.push_back(&replacements.back());
  }
  size_t failed_index = 0;
  FileStatus status = CommitTogether(all, &failed_index);
  if (!status.ok) *failed = failed_index < files.size() ? files[failed_index].first : remove;
  return status;
}

std::optional<std::vector<std::string>> KmlFilesIn(const std::string& folder) {
  constexpr int kDeepest = 64;  // a link that leads back up ends here
  std::vector<std::string> files;
  bool readable = true;
  auto visit = [&](auto& self, const std::string& at, int depth) -> void {
    std::optional<std::vector<std::string>> entries = FolderEntries(at);
    if (!entries) {
      readable = depth > 0 && readable;
      return;
    }
    for (const std::string& path : *entries) {
      const PathKind kind = KindOf(path);
      if (kind == PathKind::kFolder && depth < kDeepest) self(self, path, depth + 1);
      if (kind != PathKind::kFile || path.size() < 4) continue;
      std::string extension = path.substr(path.size() - 4);
      for (char& c : extension) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
      if (extension == ".kml" || extension == ".kmz") files.push_back(path);
    }
  };
  visit(visit, folder, 0);
  if (!readable) return std::nullopt;
  std::sort(files.begin(), files.end());
  return files;
}
