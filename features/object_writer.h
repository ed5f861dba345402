#pragma once

#include <string>
#include <vector>

#include "features/attribute_table.h"
#include "features/conversion_options.h"
#include "features/object_plan.h"
#include "mif/file_export.h"
#include "mif/mif_writer.h"
#include "mif/record_emitter.h"

// The style clauses of a placemark, computed once for each style: the symbol line (without
// its line end), the pen line, and the pen and brush lines.
struct Clauses {
  std::string symbol, pline, region;
};

// Writes the planned objects of a conversion, each with its row of the MID file.
//   In sections: a point is "Point x y\r\n    Symbol (...)\r\n", a polyline or region begins
//   with CR LF and ends without, as the plain export writes them.
//   Merged: every object begins with CR LF and ends without; a placemark's parts make one object
//   with --multi: "Multipoint n", "Pline Multiple n", "Region n" (all its rings), or a
//   "Collection n" of a Region, a Pline and a Multipoint part, each with its style; a placemark
//   that gives no object gives "None" with --empty-rows.
class ObjectWriter {
 public:
  ObjectWriter(const ExportSource& source, const ObjectPlan& plan, const ConversionOptions& options,
               const std::vector<const Clauses*>* clauses, const AttributeTable* table);

  // Projects every vertex: an object with a field that is no number is skipped.
  void Project(const ProjectionGrid* grid, double half_width) { emitter_.Project(grid, half_width); }

  void Write(const PlannedObject& object, MifWriter& mif, MifWriter& mid);

  size_t skipped_objects() const { return skipped_; }  // for a field that is no number
  // The extent and the far vertices of the objects written.
  RecordEmitter::Tally tally() const { return emitter_.tally(); }

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

  const Clauses* StyleOf(int placemark) const;
  void UseTextOf(const Part& part);
  // Writes one part as an object of its own; false when it gives none.
  bool WritePart(const Part& part, const Clauses* style, MifWriter& mif);
  // Writes the parts as one object; false when they give none.
  bool WriteTogether(const PlannedObject& object, const Clauses* style, MifWriter& mif);
  // Adds the part's vertex lists to `lists`: one for a point, line, ring or track, a polygon's
  // usable rings (none when its outer ring is not).
  void Collect(const Part& part, Lists& lists);
  static void PutLists(const Lists& lists, size_t from, MifWriter& mif);

  const ExportSource& source_;
  const ObjectPlan& plan_;
  const ConversionOptions& options_;
  const std::vector<const Clauses*>* clauses_;
  const AttributeTable* table_;
  RecordEmitter emitter_;
  Lists points_, plines_, regions_;
  MifWriter scratch_;
  size_t skipped_ = 0;
};

// Whether writing `plan` makes a Multipoint or a Collection, which MIF has from version 650.
bool NeedsVersion650(const ObjectPlan& plan, const ConversionOptions& options);

// The MIF header with `version`, the CoordSys line `coord_sys` and, when given, the table's
// columns in place of GOOD.
std::string MifHeaderWith(const AttributeTable* table, bool version_650, const std::string& coord_sys);
