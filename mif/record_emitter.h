#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "document/text_io.h"
#include "mif/mif_writer.h"
#include "mif/projection_grid.h"
#include "mif/section_builders.h"

// One tuple of a coordinates text: [begin, end), its first comma (null when it has none) and
// the end of its second field (the second comma, or the end); `high` tells whether the two
// fields hold a byte above 0x7F; `window` how many bytes from `begin` lie in the text and may
// be copied at once (32 or 64), or 0.
struct Tuple {
  const char* begin;
  const char* end;
  const char* comma;
  const char* y_end;
  bool high;
  uint8_t window;
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
  // their number: for records of several vertex lists. When projecting, a field that is no
  // number makes invalid() true.
  size_t CollectVertices(std::string_view coordinates, MifWriter& lines);
  // Appends the vertex line of the first tuple of `coordinates` to `lines` when it is usable,
  // as a point record has it.
  bool CollectPoint(std::string_view coordinates, MifWriter& lines);

  // Appends the vertex line of a gx:coord ("lon lat [alt]", separated by blanks); false for
  // fewer than two fields.
  bool CollectCoord(std::string_view coord, MifWriter& lines);

  // From now on the fields of each vertex are parsed as longitude and latitude, projected, and
  // written in metres with 3 decimals; a record with a field that is no number is none.
  // Vertices farther than `half_width` degrees from the central meridian are counted.
  void Project(const ProjectionGrid* grid, double half_width) {
    grid_ = grid;
    half_width_ = half_width;
  }
  // Whether a field that is no number was met since the last call that reset it: the
  // Append calls reset it, and so does ClearInvalid.
  bool invalid() const { return invalid_; }
  void ClearInvalid() { invalid_ = false; }
  size_t far_vertices() const { return far_vertices_; }

  // The longitude and latitude of the first usable tuple of `coordinates`; false when it has
  // none, or a field of it is no number.
  bool FirstVertex(std::string_view coordinates, double* longitude, double* latitude) const;

  // The longitudes and latitudes of the vertices projected so far, the smallest and largest.
  struct Extent {
    double min_lon = 1e300, max_lon = -1e300, min_lat = 1e300, max_lat = -1e300;
    void Add(double longitude, double latitude) {
      min_lon = std::min(min_lon, longitude);
      max_lon = std::max(max_lon, longitude);
      min_lat = std::min(min_lat, latitude);
      max_lat = std::max(max_lat, latitude);
    }
    void Add(const Extent& other);
    bool empty() const { return min_lon > max_lon; }
  };
  const Extent& extent() const { return extent_; }

  // What the vertices projected so far gave: their extent and how many were far. Taken before
  // a record and restored when the record is dropped, so that only records written count.
  struct Tally {
    Extent extent;
    size_t far_vertices;
    void Add(const Tally& other) {
      extent.Add(other.extent);
      far_vertices += other.far_vertices;
    }
  };
  Tally tally() const { return {extent_, far_vertices_}; }
  void Restore(const Tally& earlier) {
    extent_ = earlier.extent;
    far_vertices_ = earlier.far_vertices;
  }

 private:
  // The vertex line of a tuple at `p`: copied, decoded or projected.
  char* PutLine(char* p, const Tuple& t);
  char* PutProjected(char* p, double longitude, double latitude);
  bool AppendLargeVertices(std::string_view coordinates, const VertexSectionParams& params, MifWriter& out,
                           std::string_view tail);
  void PutHead(size_t count, std::string_view head, MifWriter& out);
  // "\r\nHEAD COUNT\r\n", and its size.
  static char* PutHead(char* p, size_t count, std::string_view head);
  static size_t HeadSize(std::string_view head, size_t count);
  // The vertex lines of the usable tuples of `coordinates` at `q`, at most LinesBound bytes
  // (and what PutVertexLine stores past them); their number is added to `count`.
  char* PutVertexLines(std::string_view coordinates, char* q, size_t* count);
  size_t LinesBound(std::string_view coordinates) const;

  Encoding encoding_;
  const char* readable_end_;
  double bytes_per_tuple_ = 24;  // of the last record: how many lines the next will have
  const ProjectionGrid* grid_ = nullptr;
  double half_width_ = 0;
  bool invalid_ = false;
  size_t far_vertices_ = 0;
  Extent extent_;
};
