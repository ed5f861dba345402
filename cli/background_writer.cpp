#include "cli/background_writer.h"

#include <system_error>

BackgroundWriter::BackgroundWriter(Write write) : write_(std::move(write)) {
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No thread to be had: Push writes each piece itself.
  }
}

BackgroundWriter::~BackgroundWriter() { Finish(); }

bool BackgroundWriter::Push(std::string_view piece) {
  if (!thread_.joinable()) {
    if (status_.ok) status_ = write_(piece);
    return status_.ok;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return waiting_.size() < kMaxWaiting || !status_.ok; });
  if (!status_.ok) return false;
  std::string copy;
  if (!spare_.empty()) {
    copy = std::move(spare_.front());
    spare_.pop_front();
  }
  copy.assign(piece);
  waiting_.push_back(std::move(copy));
  changed_.notify_all();
  return true;
}

FileStatus BackgroundWriter::Finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
  return status_;
}

void BackgroundWriter::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !waiting_.empty() || closing_; });
    if (waiting_.empty()) return;
    std::string piece = std::move(waiting_.front());
    waiting_.pop_front();
    if (status_.ok) {
      lock.unlock();
      FileStatus written = write_(piece);
      lock.lock();
      if (!written.ok) status_ = written;
    }
    spare_.push_back(std::move(piece));
    changed_.notify_all();
  }
}
