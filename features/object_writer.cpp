#include "features/object_writer.h"

#include "mif/coordinates.h"
#include "mif/element_tags.h"
#include "mif/section_builders.h"

namespace {

constexpr std::string_view kSymbol = "    Symbol (35,0,12)";
constexpr std::string_view kPen = "    Pen (3,2,2105599)";
constexpr std::string_view kPenAndBrush = "    Pen (3,2,2105599)\r\n    Brush (2,16728128,16777215)";

void PutCount(std::string_view head, size_t count, MifWriter& mif) {
  mif.Append(head);
  mif.Append(std::to_string(count));
  mif.Append("\r\n");
}

}  // namespace

ObjectWriter::ObjectWriter(const ExportSource& source, const ObjectPlan& plan, const ConversionOptions& options,
                           const std::vector<const Clauses*>* clauses, const AttributeTable* table)
    : source_(source), plan_(plan), options_(options), clauses_(clauses), table_(table),
      emitter_(source.encoding, source.text) {}

const Clauses* ObjectWriter::StyleOf(int placemark) const {
  return clauses_ && placemark >= 0 ? (*clauses_)[static_cast<size_t>(placemark)] : nullptr;
}

void ObjectWriter::UseTextOf(const Part& part) {
  emitter_.SetText(part.joined == 0 ? source_.text : std::string_view(*plan_.joined[part.joined - 1]));
}

void ObjectWriter::Write(const PlannedObject& object, MifWriter& mif, MifWriter& mid) {
  const Clauses* style = StyleOf(object.placemark);
  // Projecting, the vertices of an object that gives none do not count, and one with a field
  // that is no number is taken back whole.
  auto write_or_skip = [&](auto write) {
    const size_t before = mif.text().size();
    const RecordEmitter::Tally tally = emitter_.tally();
    emitter_.ClearInvalid();
    if (write()) return true;
    emitter_.Restore(tally);
    if (emitter_.invalid()) {
      mif.Truncate(before);
      ++skipped_;
    }
    return false;
  };
  bool written = false;
  if (options_.multi && object.count > 0) {
    written = write_or_skip([&] { return WriteTogether(object, style, mif) && !emitter_.invalid(); });
    if (written && table_) mid.Append(table_->Row(object.placemark));
  } else {
    for (uint32_t i = object.first; i < object.first + object.count; ++i) {
      if (!write_or_skip([&] { return WritePart(plan_.parts[i], style, mif) && !emitter_.invalid(); })) continue;
      written = true;
      if (table_) mid.Append(table_->Row(object.placemark));
    }
  }
  // A placemark whose geometry was lost, or that had none, still has its row.
  if (!written && options_.empty_rows && object.placemark >= 0) {
    mif.Append("\r\nNone");
    if (table_) mid.Append(table_->Row(object.placemark));
  }
}

bool ObjectWriter::WritePart(const Part& part, const Clauses* style, MifWriter& mif) {
  UseTextOf(part);
  switch (part.type) {
    case PartType::kPoint: {
      std::string_view symbol = style ? std::string_view(style->symbol) : kSymbol;
      if (!plan_.merged) {
        scratch_.Clear();
        scratch_.Append(symbol);
        scratch_.Append("\r\n");
        return emitter_.AppendPoint(part.text, mif, scratch_.text());
      }
      const size_t before = mif.text().size();
      mif.Append("\r\n");
      if (emitter_.AppendPoint(part.text, mif, symbol)) return true;
      mif.Truncate(before);
      return false;
    }
    case PartType::kLine:
      return emitter_.AppendVertices(part.text, kPlineParams, mif, style ? std::string_view(style->pline) : kPen);
    case PartType::kRing:
      return emitter_.AppendVertices(part.text, kRegionParams, mif, style ? std::string_view(style->region) : kPenAndBrush);
    case PartType::kTrack:
    case PartType::kPolygon: {
      Lists& lists = part.type == PartType::kTrack ? plines_ : regions_;
      lists.Clear();
      Collect(part, lists);
      if (lists.lists.empty()) return false;
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

void ObjectWriter::Collect(const Part& part, Lists& lists) {
  UseTextOf(part);
  auto close = [&](size_t count) { lists.lists.emplace_back(count, lists.lines.text().size()); };
  const size_t before = lists.lines.text().size();
  switch (part.type) {
    case PartType::kPoint:
      if (emitter_.CollectPoint(part.text, lists.lines)) close(1);
      return;
    case PartType::kLine:
    case PartType::kRing: {
      const size_t count = emitter_.CollectVertices(part.text, lists.lines);
      if (count >= 2) return close(count);
      lists.lines.Truncate(before);
      return;
    }
    case PartType::kTrack: {
      size_t count = 0;
      for (const ElementMatch& coord : FindNamedElements(part.text, "coord")) {
        count += emitter_.CollectCoord(coord.group, lists.lines);
      }
      if (count >= 2) return close(count);
      lists.lines.Truncate(before);
      return;
    }
    case PartType::kPolygon: {
      // Its usable rings, the outer one first; a polygon whose outer ring is unusable is none.
      std::vector<std::string_view> rings = RingsOf(part.text);
      for (size_t i = 0; i < rings.size(); ++i) {
        const size_t ring_begin = lists.lines.text().size();
        const size_t count = emitter_.CollectVertices(rings[i], lists.lines);
        if (count >= 2) {
          close(count);
        } else {
          lists.lines.Truncate(ring_begin);
          if (i == 0) return;
        }
      }
      return;
    }
  }
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

bool ObjectWriter::WriteTogether(const PlannedObject& object, const Clauses* style, MifWriter& mif) {
  points_.Clear();
  plines_.Clear();
  regions_.Clear();
  for (uint32_t i = object.first; i < object.first + object.count; ++i) {
    const Part& part = plan_.parts[i];
    Collect(part, part.type == PartType::kPoint                                   ? points_
                  : part.type == PartType::kLine || part.type == PartType::kTrack ? plines_
                                                                                   : regions_);
  }
  const std::string_view symbol = style ? std::string_view(style->symbol) : kSymbol;
  const std::string_view pen = style ? std::string_view(style->pline) : kPen;
  const std::string_view pen_and_brush = style ? std::string_view(style->region) : kPenAndBrush;
  const size_t kinds = !points_.lists.empty() + !plines_.lists.empty() + !regions_.lists.empty();
  if (kinds == 0) return false;
  // Each part of a collection begins on a line of its own, indented; an object alone is not.
  const std::string_view indent = kinds > 1 ? "  " : "";
  if (kinds > 1) mif.Append("\r\nCollection " + std::to_string(kinds));
  if (!regions_.lists.empty()) {
    mif.Append("\r\n");
    mif.Append(indent);
    mif.Append("Region  " + std::to_string(regions_.lists.size()) + " \r\n");
    PutLists(regions_, 0, mif);
    mif.Append(pen_and_brush);
  }
  if (!plines_.lists.empty()) {
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

// How many vertices the first tuples of `text` give, up to two: enough to tell whether a
// point, line or ring is usable.
size_t UsableTuples(std::string_view text, size_t enough) {
  size_t usable = 0;
  ForEachTuple(text, [&](std::string_view tuple) {
    TupleFields fields;
    if (usable < enough && UsableTuple(tuple, &fields)) ++usable;
  });
  return usable;
}

bool Usable(const Part& part) {
  switch (part.type) {
    case PartType::kPoint: return UsableTuples(FirstTuple(part.text), 1) == 1;
    case PartType::kLine:
    case PartType::kRing: return UsableTuples(part.text, 2) == 2;
    case PartType::kPolygon: return UsableTuples(RingsOf(part.text)[0], 2) == 2;
    case PartType::kTrack: {
      size_t coords = 0;
      for (const ElementMatch& coord : FindNamedElements(part.text, "coord")) {
        size_t fields = 0;
        ForEachTuple(coord.group, [&](std::string_view) { ++fields; });
        coords += fields >= 2;
      }
      return coords >= 2;
    }
  }
  return false;
}

}  // namespace

bool NeedsVersion650(const ObjectPlan& plan, const ConversionOptions& options) {
  if (!options.multi) return false;
  for (const ObjectSection& section : plan.sections) {
    for (size_t o = 0; o < section.size(); ++o) {
      const PlannedObject object = section[o];
      if (object.count < 2) continue;
      size_t points = 0;
      bool kinds[3] = {false, false, false};
      for (uint32_t i = object.first; i < object.first + object.count; ++i) {
        const Part& part = plan.parts[i];
        if (!Usable(part)) continue;
        const int kind = part.type == PartType::kPoint ? 0 : part.type == PartType::kLine || part.type == PartType::kTrack ? 1 : 2;
        kinds[kind] = true;
        points += kind == 0;
      }
      if (kinds[0] + kinds[1] + kinds[2] > 1 || points > 1) return true;
    }
  }
  return false;
}

std::string MifHeaderWith(const AttributeTable* table, bool version_650, const std::string& coord_sys) {
  std::string header(MifHeader);
  if (version_650) header.replace(header.find("300"), 3, "650");
  const size_t line = header.find("CoordSys");
  header.replace(line, header.find("\r\n", line) - line, coord_sys);
  if (!table) return header;
  size_t columns = header.find("Columns 1\r\n");
  size_t data = header.find("Data\r\n");
  return header.substr(0, columns) + table->MifColumns() + header.substr(data);
}
