#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mif/mif_writer.h"
#include "mif/projection_grid.h"
#include "mif/section_builders.h"

// One tuple of a coordinates text: [begin, end), its first comma (null when it has none) and
// the end of its second field (the second comma, or the end); `vertex` tells whether both
// fields are numbers (IsVertex); `window` how many bytes from `begin` lie in the text and may
// be copied at once (32 or 64), or 0.
struct Tuple {
  const char* begin;
  const char* end;
  const char* comma;
  const char* y_end;
  bool vertex;
  uint8_t window;
};

// What records left out: vertices with a field that is no number, vertices that the
// projection has no place for, and the objects that kept too few vertices to be written
// (counted by the writers of the objects).
struct LeftOut {
  size_t no_number = 0;
  size_t beyond = 0;
  size_t records = 0;
  std::string first;                // the first tuple with a field that is no number, as written
  uint64_t first_at = UINT64_MAX;    // where it lies: see RecordEmitter::SetText

  bool empty() const { return no_number == 0 && beyond == 0 && records == 0; }
  void Add(const LeftOut& other);
};

// Writes the MIF records of coordinates texts taken from the file's own bytes, giving exactly
// the records that the section builders give for the converted text: a vertex's fields are
// numbers, so ASCII, and their bytes are the same in either encoding.
class RecordEmitter {
 public:
  // The coordinates texts given to it lie in `text`, which may be read up to its end.
  explicit RecordEmitter(std::string_view text) : text_(text.data()), readable_end_(text.data() + text.size()) {}

  // The coordinates texts given from now on lie in `text`, which is the document or, for
  // joined > 0, the joined text of that number. A tuple's place, by which the first one left
  // out is chosen, is its offset in the document; those of joined texts come after it, in
  // order of their number and offset: an order that does not depend on where memory lies.
  void SetText(std::string_view text, size_t joined = 0) {
    text_ = text.data();
    readable_end_ = text.data() + text.size();
    place_base_ = uint64_t{joined} << 48;
  }

  // "Point 116.1 39.9\r\n    Symbol (35,0,12)\r\n" for the first tuple, when it is a vertex;
  // another `tail` takes the place of the symbol line. True when a record was written.
  bool AppendPoint(std::string_view coordinates, MifWriter& out, std::string_view tail = {});

  // "\r\n", the head, the count, "\r\n", one line per vertex, the tail (`tail`, when given, in
  // place of the parameters'); nothing for fewer vertices than the parameters' fewest.
  bool AppendVertices(std::string_view coordinates, const VertexSectionParams& params, MifWriter& out,
                      std::string_view tail = {});

  // Whether the last record that was not written was left out by the rules of vertices: it
  // had as many usable tuples as a record of its kind needs (one, or two), but too few
  // vertices. A record of no usable tuples is no record at all.
  bool left_out() const { return left_out_; }
  // The vertex count of the last record written.
  size_t last_count() const { return last_count_; }

  // The vertex lines of the vertices of `coordinates`, appended to `lines`: for records of
  // several vertex lists. `usable`, when given, gets the number of usable tuples (or, for a
  // list of three vertices or more, at least that many).
  size_t CollectVertices(std::string_view coordinates, MifWriter& lines, size_t* usable = nullptr);
  // The vertex line of the first tuple of `coordinates` when it is a vertex, as a point record
  // has it; `usable` tells whether the first tuple was usable.
  bool CollectPoint(std::string_view coordinates, MifWriter& lines, bool* usable = nullptr);
  // The vertex line of a gx:coord ("lon lat [alt]", separated by blanks); false for fewer than
  // two fields (then *usable is false) or fields that are no numbers.
  bool CollectCoord(std::string_view coord, MifWriter& lines, bool* usable = nullptr);

  // The vertices of `coordinates` that a record would get, counted without writing them; not
  // for a projecting emitter.
  size_t CountVertices(std::string_view coordinates) const;

  // From now on the fields of each vertex are parsed as longitude and latitude, projected, and
  // written in metres with 3 decimals. A vertex that is no place on the earth, or lies more
  // than 90 degrees from the central meridian, is left out; those farther than `half_width`
  // degrees are counted. With `zones`, the vertices are counted by the zone of that kind
  // (3 or 6 degrees) they lie in.
  void Project(const ProjectionGrid* grid, double half_width, int zones = 0) {
    grid_ = grid;
    half_width_ = half_width;
    zone_width_ = zones;
  }

  const LeftOut& left_out_vertices() const { return left_out_total_; }

  // The longitude and latitude of the first vertex of `coordinates`; false when it has none,
  // or it is no place on the earth.
  bool FirstVertex(std::string_view coordinates, double* longitude, double* latitude) const;

  // The longitudes and latitudes of places, the smallest and largest.
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

  // The eastings and northings of the vertices written, the smallest and largest.
  struct Bounds {
    double min_x = 1e300, max_x = -1e300, min_y = 1e300, max_y = -1e300;
    void Add(double x, double y) {
      min_x = std::min(min_x, x);
      max_x = std::max(max_x, x);
      min_y = std::min(min_y, y);
      max_y = std::max(max_y, y);
    }
    void Add(const Bounds& other);
    bool empty() const { return min_x > max_x; }
  };

  // What the vertices projected so far gave: their bounds and how many were far. Taken before
  // a record and restored when the record is dropped, so that only records written count.
  struct Tally {
    Bounds bounds;
    size_t far_vertices;
    void Add(const Tally& other) {
      bounds.Add(other.bounds);
      far_vertices += other.far_vertices;
    }
  };
  Tally tally() const { return {bounds_, far_vertices_}; }
  void Restore(const Tally& earlier) {
    bounds_ = earlier.bounds;
    far_vertices_ = earlier.far_vertices;
  }

  // The least and the greatest third field of the vertices written while they are kept
  // ("116.1,39.9,52" gives 52, a gx:coord its third field), as written: the altitudes of an
  // object. A vertex without one does not count; one whose third field is no number makes
  // them unknown.
  struct ThirdFields {
    bool any = false;
    bool no_number = false;
    double least = 0, greatest = 0;
    std::string_view least_text, greatest_text;
    void Add(std::string_view field) {
      // Nearly every vertex repeats a value already seen (most often 0).
      if (field.empty() || (any && (field == least_text || field == greatest_text))) return;
      AddOther(field);
    }
    void AddOther(std::string_view field);
  };
  void KeepThirdFields() { keep_thirds_ = true; }
  void ClearThirdFields() { thirds_ = ThirdFields(); }
  const ThirdFields& third_fields() const { return thirds_; }

  // Vertices by zone, for the zone that holds the most of them: counts[zone + kZoneOffset].
  static constexpr int kZoneOffset = 128;
  using ZoneCounts = std::array<uint64_t, 256>;
  const ZoneCounts& zone_counts() const { return zones_; }

 private:
  // The line of the vertex `t` at `p`, copied or projected; p itself when a projected vertex
  // is left out. `readable_end` ends the memory that holds `t`: the text, unless given; a
  // tuple that is no number is noted as `as_written` says, when given.
  char* PutLine(char* p, const Tuple& t, const char* readable_end = nullptr, const Tuple* as_written = nullptr);
  char* PutLineOnly(char* p, const Tuple& t, const char* readable_end, const Tuple* as_written);
  // Whether the projected vertex at `longitude`, `latitude` has a place, counted as left out
  // when not.
  bool OnTheEarth(double longitude, double latitude);
  char* PutProjected(char* p, double longitude, double latitude);
  void NoteNoNumber(const Tuple& t);
  bool AppendLargeVertices(std::string_view coordinates, const VertexSectionParams& params, MifWriter& out,
                           std::string_view tail);
  void PutHead(size_t count, std::string_view head, MifWriter& out);
  // "\r\nHEAD COUNT\r\n", and its size.
  static char* PutHead(char* p, size_t count, std::string_view head);
  static size_t HeadSize(std::string_view head, size_t count);
  // The vertex lines of the vertices of `coordinates` at `q`, at most LinesBound bytes (and
  // what PutVertexLine stores past them); their number is added to `count`.
  char* PutVertexLines(std::string_view coordinates, char* q, size_t* count);
  template <bool kKeepThirds>
  char* PutCopiedLines(std::string_view coordinates, char* q, size_t* count);
  char* PutProjectedLines(std::string_view coordinates, char* q, size_t* count);
  size_t UsableTuples(std::string_view coordinates) const;
  size_t LinesBound(std::string_view coordinates) const;
  // A record that was not written: left out when it had `usable` >= `needed` usable tuples.
  bool NotWritten(size_t usable, size_t needed);

  const char* text_;
  const char* readable_end_;
  uint64_t place_base_ = 0;
  double bytes_per_tuple_ = 24;  // of the last record: how many lines the next will have
  const ProjectionGrid* grid_ = nullptr;
  double half_width_ = 0;
  int zone_width_ = 0;
  bool left_out_ = false;
  size_t last_count_ = 0;
  LeftOut left_out_total_;
  size_t far_vertices_ = 0;
  Bounds bounds_;
  ZoneCounts zones_{};
  bool keep_thirds_ = false;
  ThirdFields thirds_;
};
