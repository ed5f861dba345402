#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tab/map_file.h"
#include "tab/mif_objects.h"

// The objects of a MIF body read and put on the grid on other threads, a piece of its text at
// a time, and taken back in the order of the text: reading the numbers back is most of the
// table's work, and a piece holds whole objects, so that pieces can be read side by side.

// Pieces of a body of about `size` bytes or more, each ending where an object ends: before a
// line that begins with a letter. An object's first line begins so; its vertices, counts and
// styles, and the parts of a collection, are indented or begin with a number.
class BodyPieces {
 public:
  BodyPieces(LineReader::Read read, std::string unread, size_t size = size_t{128} << 10)
      : read_(std::move(read)), text_(std::move(unread)), size_(size) {}
  // The next piece; false at the end of the text. It has room for kPadding bytes more.
  bool Next(std::string* piece);

  static constexpr size_t kRead = size_t{1} << 16;  // bytes asked of `read` at a time
  static constexpr size_t kPadding = 8;            // after the text, for reading it in place

 private:
  LineReader::Read read_;
  std::string text_;  // read and not yet given
  size_t searched_ = 0;  // of text_, holding no end of an object after size_
  bool ended_ = false;
  const size_t size_;
};

// A piece's objects, each also on the grid (grids[i] is objects[i]'s), and why the reading
// stopped before the end of the piece, if it did. Their memory is kept for the next piece.
struct ReadPiece {
  std::vector<MifObject> objects;
  std::vector<GridObject> grids;
  std::string error;
};

class PieceReading {
 public:
  // On up to `threads` threads besides the caller's; none: each piece is read as it is given.
  // The objects are put on the grid of `frame`.
  PieceReading(int threads, const MapFrame& frame);
  ~PieceReading();
  PieceReading(const PieceReading&) = delete;
  PieceReading& operator=(const PieceReading&) = delete;

  // Reads `piece`.
  void Give(std::string piece);
  // How many pieces were given and not yet taken.
  size_t Given();
  // The objects of the first piece given and not yet taken, waiting for them; false when none.
  // What `read` held is kept, to read another piece into.
  bool Take(ReadPiece* read);

 private:
  struct Slot {
    std::string text;
    ReadPiece read;
    bool started = false, done = false;
  };
  void Work();
  void ReadObjects(std::string& text, ReadPiece* read) const;

  const MapFrame frame_;

  std::mutex mutex_;
  std::condition_variable work_;  // a piece given, or stopping
  std::condition_variable done_;  // a piece read
  std::deque<Slot> slots_;  // given and not yet taken, in order
  std::vector<ReadPiece> free_;  // their memory, touched once instead of given back
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};
