#include "tab/text_pipes.h"

#include <algorithm>
#include <cstring>

bool TextPipes::Write(int text, std::string_view piece) {
  std::unique_lock lock(mutex_);
  Queue& queue = queues_[text];
  const Queue& other = queues_[1 - text];
  changed_.wait(lock, [&] {
    return finished_ || abandoned_ || queue.bytes <= limit_ || (texts_ == 2 && other.bytes == 0);
  });
  if (abandoned_) return false;
  if (finished_ || piece.empty()) return true;
  queue.pieces.emplace_back(piece);
  queue.bytes += piece.size();
  changed_.notify_all();
  return true;
}

void TextPipes::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

size_t TextPipes::Read(int text, char* buffer, size_t n) {
  std::unique_lock lock(mutex_);
  Queue& queue = queues_[text];
  changed_.wait(lock, [&] { return !queue.pieces.empty() || closed_; });
  if (queue.pieces.empty()) return 0;
  const std::string& front = queue.pieces.front();
  const size_t taken = std::min(n, front.size() - queue.front_used);
  std::memcpy(buffer, front.data() + queue.front_used, taken);
  queue.front_used += taken;
  queue.bytes -= taken;
  if (queue.front_used == front.size()) {
    queue.pieces.pop_front();
    queue.front_used = 0;
  }
  changed_.notify_all();
  return taken;
}

void TextPipes::Finish() {
  std::lock_guard lock(mutex_);
  finished_ = true;
  for (Queue& queue : queues_) queue = Queue();
  changed_.notify_all();
}

void TextPipes::Abandon() {
  std::lock_guard lock(mutex_);
  abandoned_ = true;
  for (Queue& queue : queues_) queue = Queue();
  changed_.notify_all();
}
