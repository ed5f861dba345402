#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <string_view>

// Where the MIF text goes while it is built: kept whole in memory, or handed on in pieces of
// about `piece` bytes, so that a large export never holds its whole output.
class MifWriter {
 public:
  // Returns false when the piece could not be taken; nothing more is handed on after that.
  using Drain = std::function<bool(std::string_view)>;

  MifWriter() = default;
  explicit MifWriter(Drain drain, size_t piece = 1 << 20);

  // Room for `n` more bytes: write them at the pointer returned, then call Advance with the
  // end of what was written.
  char* Claim(size_t n) {
    if (buffer_.size() - used_ < n) Grow(n);
    return buffer_.data() + used_;
  }
  void Advance(const char* end) {
    used_ = static_cast<size_t>(end - buffer_.data());
    if (drain_ && used_ >= piece_) HandOn();
  }

  void Append(std::string_view s) {
    char* p = Claim(s.size());
    std::memcpy(p, s.data(), s.size());
    Advance(p + s.size());
  }

  // Hands on what is left. False when a piece could not be taken.
  bool Finish();

  // The whole text, for a writer without a drain; call Finish first.
  std::string TakeText();

 private:
  void Grow(size_t n);
  void HandOn();

  std::string buffer_;  // used_ bytes of text, then room
  size_t used_ = 0;
  Drain drain_;
  size_t piece_ = 0;
  bool failed_ = false;
};

// Copies `s` to `p` and returns the end of the copy.
inline char* Put(char* p, std::string_view s) {
  std::memcpy(p, s.data(), s.size());
  return p + s.size();
}
