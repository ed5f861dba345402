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

  // The coordinates texts given from now on lie in `text`.
  void SetText(std::string_view text) { readable_end_ = text.data() + text.size(); }

  // "Point 116.1 39.9\r\n    Symbol (35,0,12)\r\n" for the first tuple, when it is usable;
  // another `tail` takes the place of the symbol line. True when a record was written.
  bool AppendPoint(std::string_view coordinates, MifWriter& out, std::string_view tail = {});

  // "\r\n", the head, the count, "\r\n", one line per usable tuple, the tail (`tail`, when
  // given, in place of the parameters'); nothing for fewer than two usable tuples.
  bool AppendVertices(std::string_view coordinates, const VertexSectionParams& params, MifWriter& out,
                      std::string_view tail = {});

  // Appends the vertex lines of the usable tuples of `coordinates` to `lines`, and returns
  // their number: for records of several vertex lists.
  size_t CollectVertices(std::string_view coordinates, MifWriter& lines);

 private:
  bool AppendLargeVertices(std::string_view coordinates, const VertexSectionParams& params, MifWriter& out,
                           std::string_view tail);
  void PutHead(size_t count, std::string_view head, MifWriter& out);

  Encoding encoding_;
  const char* readable_end_;
  MifWriter vertices_;  // the vertex lines of the record being built
};
