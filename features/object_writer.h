#pragma once

#include <string>
#include <vector>

#include "features/conversion_options.h"
#include "features/part_index.h"
#include "mif/file_export.h"
#include "mif/mif_writer.h"
#include "mif/record_emitter.h"

// The style clauses of a placemark, computed once for each style: the symbol line (without
// its line end), the pen line, and the pen and brush lines.
struct Clauses {
  std::string symbol, pline, region;
};

// Writes the objects of a conversion, each with its row of the MID file.
//   In sections: a point is "Point x y\r\n    Symbol (...)\r\n", a polyline or region begins
//   with CR LF and ends without, as the plain export writes them.
//   Merged: every object begins with CR LF and ends without; a placemark's parts make one object
//   with --multi: "Multipoint n", "Pline Multiple n", "Region n" (all its rings), or a
//   "Collection n" of a Region, a Pline and a Multipoint part, each with its style; a placemark
//   that gives no object gives "None" with --empty-rows.
// An object left out because too few of its vertices are vertices (mif/record_emitter.h)
// keeps its row as a "None" object, when there are rows: its name and values are not lost.
// With altitudes, each row ends with the AltitudeMin and AltitudeMax of its object.
class ObjectWriter {
 public:
  // `merged`: the objects come in one list (--multi, --empty-rows); `rows`: each gets its MID row.
  ObjectWriter(std::string_view document, const ConversionOptions& options, bool merged, bool rows);

  // Projects every vertex; those the projection has no place for are left out.
  void Project(const ProjectionGrid* grid, double half_width, int zones = 0) {
    emitter_.Project(grid, half_width, zones);
  }

  // Writes the object of `parts`: in sections one part, merged those of a placemark (none for
  // one without parts) or one outside placemarks. `style` is its placemark's clauses (null for
  // the fixed ones), `row` its row, written to `mid` when the object gives a record.
  void Write(const Part* parts, size_t count, bool in_placemark, const Clauses* style, std::string_view row,
             MifWriter& mif, MifWriter& mid);

  // What the objects written left out and need of the version; their projected bounds and
  // far vertices, and their vertices by zone.
  RecordReport report() const;
  RecordEmitter::Tally tally() const { return emitter_.tally(); }
  const RecordEmitter::ZoneCounts& zone_counts() const { return emitter_.zone_counts(); }
  // With altitudes: the objects whose altitudes are unknown, a third coordinate no number.
  size_t no_altitude() const { return no_altitude_; }

 private:
  // The vertex lists of a part or of several: each list's vertex count and the end of its lines.
  struct Lists {
    MifWriter lines;
    std::vector<std::pair<size_t, size_t>> lists;  // count, end of its lines
    void Clear() {
      lines.Clear();
      lists.clear();
    }
  };

  void UseTextOf(const Part& part) { emitter_.SetText(part.in, part.joined); }
  // Writes one part as an object of its own; false when it gives none, and then *left_out
  // tells whether the rules of vertices left it out.
  bool WritePart(const Part& part, const Clauses* style, MifWriter& mif, bool* left_out);
  // Writes the parts as one object; false when they give none (*left_out as for WritePart).
  bool WriteTogether(const Part* parts, size_t count, const Clauses* style, MifWriter& mif, bool* left_out);
  // Adds the part's vertex lists to `lists`: one for a point, line, ring or track, a polygon's
  // rings of three vertices or more (none when its outer ring has fewer). True when the part
  // gave none but was left out by the rules of vertices.
  bool Collect(const Part& part, Lists& lists);
  static void PutLists(const Lists& lists, size_t from, MifWriter& mif);
  // "None", as a record of the section (or the merged list) that `part` belongs to.
  void PutNone(const Part* part, MifWriter& mif) const;

  const ConversionOptions& options_;
  bool merged_;
  bool rows_;
  RecordEmitter emitter_;
  Lists points_, plines_, regions_;
  MifWriter scratch_;
  std::string altitude_row_;
  size_t no_altitude_ = 0;
  size_t left_out_objects_ = 0;
  size_t objects_ = 0;
  VersionNeeds version_;
};

// The rings of a Polygon: the coordinates of the first LinearRing of its outerBoundaryIs, then
// those of each LinearRing of its innerBoundaryIs elements, in order.
std::vector<std::string_view> RingsOf(std::string_view polygon);

// What writing the objects of `index` unprojected needs of the version, found before they are
// written: a Multipoint or a Collection needs 650, and only objects of texts long enough to
// need more than version 300 are written to be counted.
VersionNeeds MeasureObjects(std::string_view document, const PartIndex& index, const ConversionOptions& options);
