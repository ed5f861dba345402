#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "document/file_io.h"

// Writes pieces of output on a thread of its own, so that the kernel's copying of one piece
// overlaps the building of the next. At most a few pieces wait at a time.
class BackgroundWriter {
 public:
  using Write = std::function<FileStatus(std::string_view)>;

  explicit BackgroundWriter(Write write);
  ~BackgroundWriter();
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  // Queues a copy of `piece`; false once a write has failed.
  bool Push(std::string_view piece);

  // Waits until every piece is written; the status of the first failed write, if any.
  FileStatus Finish();

 private:
  void Run();

  static constexpr size_t kMaxWaiting = 4;

  Write write_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> waiting_;
  std::deque<std::string> spare_;  // written pieces, kept for their memory
  bool closing_ = false;
  FileStatus status_;
  std::thread thread_;
};
