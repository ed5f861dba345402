#include "mif/mif_writer.h"

void MifWriter::Reserve(size_t n) {
  if (capacity_ >= n) return;
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
