#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

// A MIF text while it is built: records are written straight into its buffer, which grows
// without being filled first.
class MifWriter {
 public:
  // Room for `n` more bytes: write them at the pointer returned, then call Advance with the
  // end of what was written.
  char* Claim(size_t n) {
    if (capacity_ - used_ < n) Grow(n);
    return data_.get() + used_;
  }
  void Advance(const char* end) { used_ = static_cast<size_t>(end - data_.get()); }

  void Append(std::string_view s) {
    char* p = Claim(s.size());
    std::memcpy(p, s.data(), s.size());
    Advance(p + s.size());
  }

  // Room for `n` bytes in all, taken at once (more, for a writer that had room already).
  void Reserve(size_t n);

  std::string_view text() const { return {data_.get(), used_}; }
  void Clear() { used_ = 0; }  // keeps the room
  void Truncate(size_t size) { used_ = std::min(used_, size); }
  std::string TakeText();  // the text; the writer is empty afterwards

 private:
  void Grow(size_t n) { Reserve(std::max(capacity_ * 2, used_ + n + 4096)); }

  std::unique_ptr<char[]> data_;
  size_t capacity_ = 0;
  size_t used_ = 0;
};

// Copies `s` to `p` and returns the end of the copy.
inline char* Put(char* p, std::string_view s) {
  std::memcpy(p, s.data(), s.size());
  return p + s.size();
}
