#include "tab/object_pieces.h"

#include <cstring>
#include <system_error>

namespace {

bool IsLetter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

// Where the first object after `from` begins in `text`: after a line end followed by a
// letter; npos when none does yet.
size_t ObjectStartAfter(const std::string& text, size_t from) {
  for (size_t at = from; at < text.size();) {
    const void* found = std::memchr(text.data() + at, '\n', text.size() - at);
    if (!found) return std::string::npos;
    at = static_cast<size_t>(static_cast<const char*>(found) - text.data()) + 1;
    if (at < text.size() && IsLetter(text[at])) return at;
  }
  return std::string::npos;
}

}  // namespace

bool BodyPieces::Next(std::string* piece) {
  if (text_.capacity() < size_ + kRead + kPadding) text_.reserve(size_ + kRead + kPadding);
  for (;;) {
    if (text_.size() > size_) {
      const size_t start = ObjectStartAfter(text_, std::max(searched_, size_));
      if (start != std::string::npos) {
        // The rest is copied, not the piece.
        std::string rest;
        rest.reserve(size_ + kRead + kPadding);
        rest.assign(text_, start);
        text_.resize(start);
        piece->swap(text_);
        text_.swap(rest);
        searched_ = 0;
        return true;
      }
      // The last byte may be a line end whose next line is still to come.
      searched_ = text_.size() - 1;
    }
    if (ended_) {
      if (text_.empty()) return false;
      piece->swap(text_);
      text_.clear();
      return true;
    }
    const size_t filled = text_.size();
    text_.resize(filled + kRead);
    const size_t got = read_(text_.data() + filled, kRead);
    text_.resize(filled + got);
    ended_ = got == 0;
  }
}

PieceReading::PieceReading(int threads, const MapFrame& frame) : frame_(frame) {
  try {
    for (int t = 0; t < threads; ++t) workers_.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
    // Fewer threads; with none, Give reads each piece itself.
  }
}

PieceReading::~PieceReading() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    work_.notify_all();
  }
  for (std::thread& worker : workers_) worker.join();
}

void PieceReading::ReadObjects(std::string& text, ReadPiece* read) const {
  const size_t size = text.size();
  text.append(BodyPieces::kPadding, '\0');
  LineReader lines(std::string_view(text.data(), size), LineReader::Padded());
  read->error.clear();
  size_t count = 0;
  for (;; ++count) {
    if (count == read->objects.size()) {
      read->objects.emplace_back();
      read->grids.emplace_back();
    }
    if (!ReadMifObject(lines, &read->objects[count], &read->error)) break;
    PutOnGrid(frame_, read->objects[count], &read->grids[count]);
  }
  // The room kept for the next piece: as much as this one needed, not the most that any
  // piece needed at each place.
  read->objects.resize(count);
  read->grids.resize(count);
  auto trim = [](auto& values) {
    if (values.capacity() > 2 * values.size() + 256) values.shrink_to_fit();
  };
  for (size_t i = 0; i < count; ++i) {
    for (MifPart& part : read->objects[i].parts) trim(part.xy);
    for (GridPart& part : read->grids[i].parts) trim(part.xy);
  }
}

void PieceReading::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    Slot* slot = nullptr;
    work_.wait(lock, [&] {
      if (stopping_) return true;
      for (Slot& s : slots_) {
        if (!s.started) {
          slot = &s;
          return true;
        }
      }
      return false;
    });
    if (!slot) return;
    slot->started = true;
    // A deque's elements stay where they are while others are added at its end or taken
    // from its front, and this one is not taken before it is done.
    lock.unlock();
    ReadObjects(slot->text, &slot->read);
    slot->text = std::string();
    lock.lock();
    slot->done = true;
    done_.notify_one();
  }
}

void PieceReading::Give(std::string piece) {
  std::lock_guard lock(mutex_);
  Slot& slot = slots_.emplace_back();
  if (!free_.empty()) {
    slot.read = std::move(free_.back());
    free_.pop_back();
  }
  if (workers_.empty()) {
    ReadObjects(piece, &slot.read);
    slot.started = slot.done = true;
    return;
  }
  slot.text = std::move(piece);
  work_.notify_one();
}

size_t PieceReading::Given() {
  std::lock_guard lock(mutex_);
  return slots_.size();
}

bool PieceReading::Take(ReadPiece* read) {
  std::unique_lock lock(mutex_);
  if (slots_.empty()) return false;
  done_.wait(lock, [&] { return slots_.front().done; });
  free_.push_back(std::move(*read));
  *read = std::move(slots_.front().read);
  slots_.pop_front();
  return true;
}
