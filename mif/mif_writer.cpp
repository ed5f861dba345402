#include "mif/mif_writer.h"

void MifWriter::Reserve(size_t n) {
  if (capacity_ >= n) return;
  // A writer taken again for a piece a little larger than its last grows by half: once, not
  // for every such piece.
  if (capacity_ > 0) n = std::max(n, capacity_ + capacity_ / 2);
  std::unique_ptr<char[]> larger = std::make_unique_for_overwrite<char[]>(n);
  if (used_) std::memcpy(larger.get(), data_.get(), used_);
  data_ = std::move(larger);
  capacity_ = n;
}

std::string MifWriter::TakeText() {
  std::string text(data_.get(), used_);
  data_.reset();
  capacity_ = used_ = 0;
  return text;
}
