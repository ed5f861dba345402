#pragma once

#include <optional>
#include <string>
#include <vector>

#include "document/file_io.h"

// What file_io_posix.cpp and file_io_win32.cpp provide to file_io.cpp. The reads may throw
// std::bad_alloc for a file larger than the memory that can be had.
FileStatus ReadWholeFileOrThrow(const std::string& path, std::string* bytes);
FileStatus ReadStandardInputOrThrow(std::string* bytes);
FileStatus OutOfMemory();  // the system's words for it

// Called, when set, after each file that CommitTogether puts in place, with its index: for the
// tests of a commit interrupted between two files.
extern void (*g_after_placing_for_testing)(size_t index);

// The paths of what `folder` holds, "." and ".." aside, in no order; nullopt when it cannot
// be read.
std::optional<std::vector<std::string>> FolderEntries(const std::string& folder);
