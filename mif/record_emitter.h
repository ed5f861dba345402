#pragma once

#include <string>
#include <string_view>

#include "document/text_io.h"
#include "mif/mif_writer.h"
#include "mif/section_builders.h"

// One tuple of a coordinates text: [begin, end), its first comma (null when it has none) and
// the end of its second field (the second comma, or the end); `high` tells whether the two
// fields hold a byte above 0x7F; `readable32` whether 32 bytes from `begin` lie in the text.
struct Tuple {
  const char* begin;
  const char* end;
  const char* comma;
  const char* y_end;
  bool high;
  bool readable32;
};

// Writes the MIF records of coordinates texts taken from the file's own bytes, giving exactly
// the records that the section builders give for the converted text: a field that holds a
// byte above 0x7F is converted (UTF-8) or mended (ANSI) on its own, which gives the same
// bytes as in the whole text, since fields begin and end at ASCII bytes that are never part
// of a multi-byte character.
class RecordEmitter {
 public:
  // The coordinates texts given to it lie in `text`, which may be read up to its end.
  RecordEmitter(Encoding encoding, std::string_view text)
      : encoding_(encoding), readable_end_(text.data() + text.size()) {}

  // "Point 116.1 39.9\r\n    Symbol (35,0,12)\r\n" for the first tuple, when it is usable.
  void AppendPoint(std::string_view coordinates, MifWriter& out);

  // "\r\n", the head, the count, "\r\n", one line per usable tuple, the tail; nothing for
  // fewer than two usable tuples.
  void AppendVertices(std::string_view coordinates, const VertexSectionParams& params, MifWriter& out);

 private:
  void AppendLargeVertices(std::string_view coordinates, const VertexSectionParams& params, MifWriter& out);
  void PutHead(size_t count, const VertexSectionParams& params, MifWriter& out);

  Encoding encoding_;
  const char* readable_end_;
  std::string vertices_;  // the vertex lines of the record being built
};
