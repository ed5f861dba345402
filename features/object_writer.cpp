#include "features/object_writer.h"

#include "mif/coordinates.h"
#include "mif/element_tags.h"
#include "mif/section_builders.h"

namespace {

constexpr std::string_view kSymbol = "    Symbol (35,0,12)";
constexpr std::string_view kSymbolLine = "    Symbol (35,0,12)\r\n";
constexpr std::string_view kPen = "    Pen (3,2,2105599)";
constexpr std::string_view kPenAndBrush = "    Pen (3,2,2105599)\r\n    Brush (2,16728128,16777215)";

void PutCount(std::string_view head, size_t count, MifWriter& mif) {
  mif.Append(head);
  mif.Append(std::to_string(count));
  mif.Append("\r\n");
}

// ",least,greatest" of an object's altitudes ("," and "," when unknown or none).
void AppendAltitudes(const RecordEmitter::ThirdFields& altitudes, std::string& row) {
  const bool known = altitudes.any && !altitudes.no_number;
  row += ',';
  if (known) row.append(altitudes.least_text);
  row += ',';
  if (known) row.append(altitudes.greatest_text);
}

std::string_view FirstGroup(std::string_view text, std::string_view name) {
  std::vector<ElementMatch> found = FindNamedElements(text, name);
  return found.empty() ? std::string_view() : found[0].group;
}

}  // namespace

std::vector<std::string_view> RingsOf(std::string_view polygon) {
  std::vector<std::string_view> rings{FirstGroup(FirstGroup(FirstGroup(polygon, "outerBoundaryIs"), "LinearRing"), "coordinates")};
  for (const ElementMatch& inner : FindNamedElements(polygon, "innerBoundaryIs")) {
    for (const ElementMatch& ring : FindNamedElements(inner.group, "LinearRing")) {
      rings.push_back(FirstGroup(ring.group, "coordinates"));
    }
  }
  return rings;
}

ObjectWriter::ObjectWriter(std::string_view document, const ConversionOptions& options, bool merged, bool rows)
    : options_(options), merged_(merged), rows_(rows), emitter_(document) {
  if (options.altitude) emitter_.KeepThirdFields();
}

RecordReport ObjectWriter::report() const {
  RecordReport report;
  report.left_out = emitter_.left_out_vertices();
  report.left_out.records = left_out_objects_;
  report.version = version_;
  report.objects = objects_;
  return report;
}

void ObjectWriter::PutNone(const Part* part, MifWriter& mif) const {
  // Points of a section end with their line end; every other record begins with one.
  mif.Append(!merged_ && part && part->type == PartType::kPoint ? "None\r\n" : "\r\nNone");
}

void ObjectWriter::Write(const Part* parts, size_t count, bool in_placemark, const Clauses* style, std::string_view row_text,
                         MifWriter& mif, MifWriter& mid) {
  bool written = false;
  // The row of an object, of the vertices just written or (`vertices` false) of none.
  auto row = [&](bool vertices) {
    written = true;
    ++objects_;
    if (!rows_) return;
    if (!options_.altitude) return mid.Append(row_text);
    const RecordEmitter::ThirdFields none;
    const RecordEmitter::ThirdFields& altitudes = vertices ? emitter_.third_fields() : none;
    no_altitude_ += altitudes.no_number;
    altitude_row_.assign(row_text.substr(0, row_text.size() - 2));
    AppendAltitudes(altitudes, altitude_row_);
    altitude_row_ += "\r\n";
    mid.Append(altitude_row_);
  };
  // Writes one object of the MIF file. Projecting, the vertices of an object that gives none
  // do not count.
  auto write = [&](const Part* of, size_t of_count, auto write_object) {
    const RecordEmitter::Tally tally = emitter_.tally();
    emitter_.ClearThirdFields();
    bool left_out = false;
    if (write_object(&left_out)) return row(true);
    emitter_.Restore(tally);
    if (!left_out) return;
    ++left_out_objects_;
    if (!rows_) return;
    PutNone(of_count == 1 ? of : nullptr, mif);
    row(false);
  };
  if (options_.multi && count > 0) {
    write(parts, count, [&](bool* left_out) { return WriteTogether(parts, count, style, mif, left_out); });
  } else {
    for (size_t i = 0; i < count; ++i) {
      const Part& part = parts[i];
      write(&part, 1, [&](bool* left_out) { return WritePart(part, style, mif, left_out); });
    }
  }
  // A placemark whose geometry was lost, or that had none, still has its row.
  if (!written && options_.empty_rows && in_placemark) {
    mif.Append("\r\nNone");
    row(false);
  }
}

bool ObjectWriter::WritePart(const Part& part, const Clauses* style, MifWriter& mif, bool* left_out) {
  UseTextOf(part);
  switch (part.type) {
    case PartType::kPoint: {
      std::string_view symbol = style ? std::string_view(style->symbol) : kSymbol;
      bool written;
      if (!merged_) {
        std::string_view line = kSymbolLine;
        if (style) {
          scratch_.Clear();
          scratch_.Append(symbol);
          scratch_.Append("\r\n");
          line = scratch_.text();
        }
        written = emitter_.AppendPoint(part.text, mif, line);
      } else {
        const size_t before = mif.text().size();
        mif.Append("\r\n");
        written = emitter_.AppendPoint(part.text, mif, symbol);
        if (!written) mif.Truncate(before);
      }
      *left_out = !written && emitter_.left_out();
      return written;
    }
    case PartType::kLine:
    case PartType::kRing: {
      const bool line = part.type == PartType::kLine;
      const std::string_view tail = style ? std::string_view(line ? style->pline : style->region) : line ? kPen : kPenAndBrush;
      if (emitter_.AppendVertices(part.text, line ? kPlineParams : kRegionParams, mif, tail)) {
        version_.AddObject(false, 1, emitter_.last_count());
        return true;
      }
      *left_out = emitter_.left_out();
      return false;
    }
    case PartType::kNone: return false;
    case PartType::kTrack:
    case PartType::kPolygon: {
      Lists& lists = part.type == PartType::kTrack ? plines_ : regions_;
      lists.Clear();
      *left_out = Collect(part, lists);
      if (lists.lists.empty()) return false;
      size_t nodes = 0;
      for (const auto& [count, end] : lists.lists) nodes += count;
      version_.AddObject(false, lists.lists.size(), nodes);
      if (part.type == PartType::kTrack) {
        PutCount("\r\nPline ", lists.lists[0].first, mif);
        mif.Append(lists.lines.text());
        mif.Append(style ? std::string_view(style->pline) : kPen);
      } else {
        mif.Append("\r\nRegion  " + std::to_string(lists.lists.size()) + " \r\n");
        PutLists(lists, 0, mif);
        mif.Append(style ? std::string_view(style->region) : kPenAndBrush);
      }
      return true;
    }
  }
  return false;
}

bool ObjectWriter::Collect(const Part& part, Lists& lists) {
  UseTextOf(part);
  auto close = [&](size_t count) { lists.lists.emplace_back(count, lists.lines.text().size()); };
  const size_t before = lists.lines.text().size();
  // What a list of `count` vertices of `usable` usable tuples gives, `fewest` at least.
  auto keep = [&](size_t count, size_t usable, size_t fewest, size_t from) {
    if (count >= fewest) {
      close(count);
      return false;
    }
    lists.lines.Truncate(from);
    return usable >= 2;
  };
  switch (part.type) {
    case PartType::kPoint: {
      bool usable = false;
      if (emitter_.CollectPoint(part.text, lists.lines, &usable)) {
        close(1);
        return false;
      }
      return usable;
    }
    case PartType::kLine:
    case PartType::kRing: {
      size_t usable = 0;
      const size_t count = emitter_.CollectVertices(part.text, lists.lines, &usable);
      return keep(count, usable, part.type == PartType::kLine ? kPlineParams.fewest : kRegionParams.fewest, before);
    }
    case PartType::kNone: return false;
    case PartType::kTrack: {
      size_t count = 0, usable = 0;
      for (const ElementMatch& coord : FindNamedElements(part.text, "coord")) {
        bool has = false;
        count += emitter_.CollectCoord(coord.group, lists.lines, &has);
        usable += has;
      }
      return keep(count, usable, kPlineParams.fewest, before);
    }
    case PartType::kPolygon: {
      // Its rings of three vertices or more, the outer one first; a polygon whose outer ring
      // has fewer is none.
      std::vector<std::string_view> rings = RingsOf(part.text);
      for (size_t i = 0; i < rings.size(); ++i) {
        const size_t ring_begin = lists.lines.text().size();
        size_t usable = 0;
        const size_t count = emitter_.CollectVertices(rings[i], lists.lines, &usable);
        const bool ring_left_out = keep(count, usable, kRegionParams.fewest, ring_begin);
        if (i == 0 && count < kRegionParams.fewest) return ring_left_out;
      }
      return false;
    }
  }
  return false;
}

void ObjectWriter::PutLists(const Lists& lists, size_t from, MifWriter& mif) {
  size_t begin = 0;
  for (size_t i = 0; i < lists.lists.size(); ++i) {
    const auto [count, end] = lists.lists[i];
    if (i >= from) {
      PutCount("  ", count, mif);
      mif.Append(lists.lines.text().substr(begin, end - begin));
    }
    begin = end;
  }
}

bool ObjectWriter::WriteTogether(const Part* parts, size_t count, const Clauses* style, MifWriter& mif, bool* left_out) {
  points_.Clear();
  plines_.Clear();
  regions_.Clear();
  for (size_t i = 0; i < count; ++i) {
    const Part& part = parts[i];
    *left_out |= Collect(part, part.type == PartType::kPoint                                   ? points_
                               : part.type == PartType::kLine || part.type == PartType::kTrack ? plines_
                                                                                                : regions_);
  }
  const std::string_view symbol = style ? std::string_view(style->symbol) : kSymbol;
  const std::string_view pen = style ? std::string_view(style->pline) : kPen;
  const std::string_view pen_and_brush = style ? std::string_view(style->region) : kPenAndBrush;
  const size_t kinds = !points_.lists.empty() + !plines_.lists.empty() + !regions_.lists.empty();
  if (kinds == 0) return false;
  auto nodes_of = [](const Lists& lists) {
    size_t nodes = 0;
    for (const auto& [count, end] : lists.lists) nodes += count;
    return nodes;
  };
  if (kinds > 1 || points_.lists.size() > 1) version_.Need(650);
  // Each part of a collection begins on a line of its own, indented; an object alone is not.
  const std::string_view indent = kinds > 1 ? "  " : "";
  if (kinds > 1) mif.Append("\r\nCollection " + std::to_string(kinds));
  if (!regions_.lists.empty()) {
    version_.AddObject(false, regions_.lists.size(), nodes_of(regions_));
    mif.Append("\r\n");
    mif.Append(indent);
    mif.Append("Region  " + std::to_string(regions_.lists.size()) + " \r\n");
    PutLists(regions_, 0, mif);
    mif.Append(pen_and_brush);
  }
  if (!plines_.lists.empty()) {
    version_.AddObject(false, plines_.lists.size(), nodes_of(plines_));
    mif.Append("\r\n");
    mif.Append(indent);
    if (plines_.lists.size() == 1) {
      PutCount("Pline ", plines_.lists[0].first, mif);
      mif.Append(plines_.lines.text());
    } else {
      PutCount("Pline Multiple ", plines_.lists.size(), mif);
      PutLists(plines_, 0, mif);
    }
    mif.Append(pen);
  }
  if (!points_.lists.empty()) {
    if (kinds > 1 || points_.lists.size() > 1) version_.AddObject(true, 1, points_.lists.size());
    mif.Append("\r\n");
    mif.Append(indent);
    // Points in a collection are always a Multipoint part; one point alone is a Point.
    if (kinds == 1 && points_.lists.size() == 1) {
      mif.Append("Point ");
    } else {
      PutCount("Multipoint ", points_.lists.size(), mif);
    }
    mif.Append(points_.lines.text());
    mif.Append(symbol);
  }
  return true;
}

namespace {

// How many vertices the first tuples of `text` give, up to `enough`: enough to tell whether a
// point, line or ring gives a part.
size_t VerticesUpTo(std::string_view text, size_t enough) {
  size_t vertices = 0;
  ForEachTuple(text, [&](std::string_view tuple) {
    TupleFields fields;
    if (vertices < enough && UsableTuple(tuple, &fields) && IsVertex(fields)) ++vertices;
  });
  return vertices;
}

// Whether the part gives a vertex list, unprojected.
bool GivesAList(const Part& part) {
  switch (part.type) {
    case PartType::kPoint: return VerticesUpTo(FirstTuple(part.text), 1) == 1;
    case PartType::kLine: return VerticesUpTo(part.text, kPlineParams.fewest) == kPlineParams.fewest;
    case PartType::kRing: return VerticesUpTo(part.text, kRegionParams.fewest) == kRegionParams.fewest;
    case PartType::kPolygon: return VerticesUpTo(RingsOf(part.text)[0], kRegionParams.fewest) == kRegionParams.fewest;
    case PartType::kNone: return false;
    case PartType::kTrack: {
      size_t coords = 0;
      for (const ElementMatch& coord : FindNamedElements(part.text, "coord")) {
        std::string_view fields[2];
        size_t n = 0;
        ForEachTuple(coord.group, [&](std::string_view field) {
          if (n < 2) fields[n] = field;
          ++n;
        });
        coords += n >= 2 && IsMifNumber(fields[0]) && IsMifNumber(fields[1]);
        if (coords >= kPlineParams.fewest) return true;
      }
      return false;
    }
  }
  return false;
}

}  // namespace

VersionNeeds MeasureObjects(std::string_view document, const PartIndex& index, const ConversionOptions& options) {
  // A vertex takes three bytes and a blank at least.
  constexpr size_t kMayNeedMore = 4 * 32768 - 1;
  VersionNeeds needs;
  ObjectWriter writer(document, options, index.merged, false);
  MifWriter scratch, no_rows;
  std::vector<Part> parts;
  for (const std::vector<IndexedPart>& section : index.sections) {
    ForEachObject(section, index.merged, [&](size_t first, size_t count) {
      parts.clear();
      size_t bytes = 0;
      for (size_t i = first; i < first + count; ++i) {
        if (section[i].type == PartType::kNone) continue;
        parts.push_back(index.PartOf(section[i], document));
        bytes += parts.back().text.size();
      }
      if (bytes >= kMayNeedMore) {
        scratch.Clear();
        writer.Write(parts.data(), parts.size(), section[first].placemark != IndexedPart::kNoPlacemark, nullptr, {},
                     scratch, no_rows);
        return;
      }
      if (!options.multi || parts.size() < 2) return;
      size_t points = 0;
      bool kinds[3] = {false, false, false};
      for (const Part& part : parts) {
        if (!GivesAList(part)) continue;
        const int kind = part.type == PartType::kPoint ? 0 : part.type == PartType::kLine || part.type == PartType::kTrack ? 1 : 2;
        kinds[kind] = true;
        points += kind == 0;
      }
      if (kinds[0] + kinds[1] + kinds[2] > 1 || points > 1) needs.Need(650);
    });
  }
  needs.Add(writer.report().version);
  return needs;
}
