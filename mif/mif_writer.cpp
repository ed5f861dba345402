#include "mif/mif_writer.h"

MifWriter::MifWriter(Drain drain, size_t piece) : drain_(std::move(drain)), piece_(piece) {
  buffer_.resize(piece_ + piece_ / 4);
}

void MifWriter::Grow(size_t n) {
  buffer_.resize(std::max(buffer_.size() * 2, used_ + n + 4096));
}

void MifWriter::HandOn() {
  if (!failed_ && !drain_(std::string_view(buffer_.data(), used_))) failed_ = true;
  used_ = 0;
}

bool MifWriter::Finish() {
  if (drain_) HandOn();
  return !failed_;
}

std::string MifWriter::TakeText() {
  buffer_.resize(used_);
  used_ = 0;
  return std::move(buffer_);
}
