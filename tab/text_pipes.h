#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

// Texts handed from one thread that writes them to another that reads them as they come: a
// MIF text and its MID text, read in step (an object, then its row). A text waits in memory
// only as far as the writer is ahead: a write waits while its text holds more than `limit`
// bytes and the other text has some for the reader (so that a reader waiting for the other
// text is never kept waiting by this one).
class TextPipes {
 public:
  TextPipes(int texts, size_t limit = size_t{1} << 20) : texts_(texts), limit_(limit) {}

  // Writer: false when the reader gave up (Abandon).
  bool Write(int text, std::string_view piece);
  // Writer: the texts are complete.
  void Close();

  // Reader: up to n bytes of `text`, waiting for them; 0 at its end.
  size_t Read(int text, char* buffer, size_t n);
  // Reader: done; what is written from now on is dropped.
  void Finish();
  // Reader: gave up; every write from now on fails.
  void Abandon();

 private:
  struct Queue {
    std::deque<std::string> pieces;
    size_t bytes = 0;
    size_t front_used = 0;  // of the first piece, already read
  };
  const int texts_;
  const size_t limit_;
  std::mutex mutex_;
  std::condition_variable changed_;
  Queue queues_[2];
  bool closed_ = false, finished_ = false, abandoned_ = false;
};
