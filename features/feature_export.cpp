#include "features/feature_export.h"

#include <algorithm>
#include <array>
#include <memory>
#include <unordered_map>

#include "features/attribute_table.h"
#include "features/kml_features.h"
#include "features/mif_styles.h"
#include "mif/coordinates.h"
#include "mif/export_plan.h"
#include "mif/ordered_parallel.h"
#include "mif/record_emitter.h"
#include "mif/section_builders.h"

namespace {

// Records are built in pieces of about 1 MB of their texts.
constexpr size_t kRecordChunk = size_t{1} << 20;

enum class RecordType : uint8_t { kPoint, kLine, kRing, kTrack, kPolygon };

// One MIF object to be: its kind, the text it is made of (a coordinates text, or the text of
// a Polygon or gx:Track element), and where its geometry lies, which tells its placemark.
struct PlannedRecord {
  size_t position;
  std::string_view text;
  int placemark;   // the placemark that holds it, -1 for none (found once the plan is made)
  RecordType type;
  uint32_t joined;  // 0: `text` lies in the document; k: in the joined element texts joined[k - 1]
};

using Section = std::vector<PlannedRecord>;

struct Plan {
  std::array<Section, 3> sections;  // points, polylines, regions
  std::vector<std::unique_ptr<std::string>> joined;
};

size_t PositionIn(std::string_view text, std::string_view part) { return static_cast<size_t>(part.data() - text.data()); }

// The records of one kind of the geometry plan, those that `keep` keeps.
template <typename Keep>
void AddKind(std::string_view text, const KindPlan& kind, RecordType type, Plan& plan, Section& section, Keep keep) {
  section.reserve(section.size() + kind.coordinates.size());
  for (const TextSpan& span : kind.coordinates) {
    if (keep(span.begin)) section.push_back({span.begin, text.substr(span.begin, span.end - span.begin), -1, type, 0});
  }
  if (kind.joined_from_here.empty()) return;
  plan.joined.push_back(std::make_unique<std::string>(JoinSpans(text, kind.joined_from_here)));
  const auto joined = static_cast<uint32_t>(plan.joined.size());
  ForEachJoinedCoordinates(kind, *plan.joined.back(), [&](std::string_view coordinates, size_t position) {
    if (keep(position)) section.push_back({position, coordinates, -1, type, joined});
  });
}

std::string_view FirstGroup(std::string_view text, std::string_view name) {
  std::vector<ElementMatch> found = FindNamedElements(text, name);
  return found.empty() ? std::string_view() : found[0].group;
}

// The rings of a Polygon: the coordinates of the first LinearRing of its outerBoundaryIs,
// then those of each LinearRing of its innerBoundaryIs elements, in order.
std::vector<std::string_view> RingsOf(std::string_view polygon) {
  std::vector<std::string_view> rings{FirstGroup(FirstGroup(FirstGroup(polygon, "outerBoundaryIs"), "LinearRing"), "coordinates")};
  for (const ElementMatch& inner : FindNamedElements(polygon, "innerBoundaryIs")) {
    for (const ElementMatch& ring : FindNamedElements(inner.group, "LinearRing")) {
      rings.push_back(FirstGroup(ring.group, "coordinates"));
    }
  }
  return rings;
}

void SortByPosition(Section& section) {
  std::stable_sort(section.begin(), section.end(),
                   [](const PlannedRecord& a, const PlannedRecord& b) { return a.position < b.position; });
}

// Polygons and tracks are planned as their elements' texts; their rings and coordinates are
// found where their records are written, on several threads.
Plan MakePlan(std::string_view text, const std::array<KindPlan, 3>& kinds, const ConversionOptions& options, int threads) {
  std::vector<std::string_view> names;
  if (options.polygons) names.push_back("Polygon");
  if (options.tracks) names.push_back("Track");
  std::vector<std::vector<ElementMatch>> elements;
  if (!names.empty()) elements = FindElementsOfEach(text, names, threads);
  Plan plan;
  auto always = [](size_t) { return true; };
  AddKind(text, kinds[0], RecordType::kPoint, plan, plan.sections[0], always);
  AddKind(text, kinds[1], RecordType::kLine, plan, plan.sections[1], always);
  if (options.tracks) {
    for (const ElementMatch& track : elements.back()) {
      plan.sections[1].push_back({PositionIn(text, track.whole), track.group, -1, RecordType::kTrack, 0});
    }
    SortByPosition(plan.sections[1]);
  }
  if (options.polygons) {
    std::vector<TextSpan> extents;
    for (const ElementMatch& polygon : elements.front()) {
      const size_t position = PositionIn(text, polygon.whole);
      extents.push_back({position, position + polygon.whole.size()});
      plan.sections[2].push_back({position, polygon.group, -1, RecordType::kPolygon, 0});
    }
    // A ring outside every Polygon is still a region of its own.
    AddKind(text, kinds[2], RecordType::kRing, plan, plan.sections[2], [&](size_t position) {
      auto after = std::upper_bound(extents.begin(), extents.end(), position,
                                    [](size_t p, const TextSpan& s) { return p < s.begin; });
      return after == extents.begin() || position >= std::prev(after)->end;
    });
    SortByPosition(plan.sections[2]);
  } else {
    AddKind(text, kinds[2], RecordType::kRing, plan, plan.sections[2], always);
  }
  return plan;
}

// The style clauses of each placemark, computed once for each style.
struct Clauses {
  std::string symbol, pline, region;
};

class RecordWriter {
 public:
  RecordWriter(const ExportSource& source, const Plan& plan, const std::vector<const Clauses*>* clauses,
               const AttributeTable* table)
      : source_(source), plan_(plan), clauses_(clauses), table_(table), emitter_(source.encoding, source.text) {}

  void Write(const PlannedRecord& record, MifWriter& mif, MifWriter& mid) {
    const int placemark = record.placemark;
    const Clauses* style = clauses_ && placemark >= 0 ? (*clauses_)[static_cast<size_t>(placemark)] : nullptr;
    emitter_.SetText(record.joined == 0 ? source_.text : std::string_view(*plan_.joined[record.joined - 1]));
    bool written = false;
    switch (record.type) {
      case RecordType::kPoint:
        written = emitter_.AppendPoint(record.text, mif, style ? style->symbol : std::string_view());
        break;
      case RecordType::kLine:
        written = emitter_.AppendVertices(record.text, kPlineParams, mif, style ? style->pline : std::string_view());
        break;
      case RecordType::kRing:
        written = emitter_.AppendVertices(record.text, kRegionParams, mif, style ? style->region : std::string_view());
        break;
      case RecordType::kTrack: {
        std::vector<ElementMatch> coords = FindNamedElements(record.text, "coord");
        written = WriteTrack(coords, style, mif);
        break;
      }
      case RecordType::kPolygon:
        written = WritePolygon(RingsOf(record.text), style, mif);
        break;
    }
    if (written && table_) mid.Append(table_->Row(placemark));
  }

 private:
  // A gx:coord holds "lon lat [alt]", separated by blanks: its first two fields are a vertex.
  bool WriteTrack(const std::vector<ElementMatch>& coords, const Clauses* style, MifWriter& mif) {
    lines_.Clear();
    size_t vertices = 0;
    for (const ElementMatch& coord : coords) {
      std::string_view x, y;
      size_t fields = 0;
      ForEachTuple(coord.group, [&](std::string_view field) {
        if (fields == 0) x = field;
        if (fields == 1) y = field;
        ++fields;
      });
      if (fields < 2) continue;
      ++vertices;
      std::string line = DecodePart(x, source_.encoding) + " " + DecodePart(y, source_.encoding) + "\r\n";
      lines_.Append(line);
    }
    if (vertices < 2) return false;
    PutHead(kPlineParams.head, vertices, mif);
    mif.Append(lines_.text());
    mif.Append(style ? std::string_view(style->pline) : kPlineParams.tail);
    return true;
  }

  // Region k, then a count line and the vertex lines of each usable ring; the outer ring must
  // be usable.
  bool WritePolygon(const std::vector<std::string_view>& rings, const Clauses* style, MifWriter& mif) {
    lines_.Clear();
    size_t used = 0;
    for (size_t i = 0; i < rings.size(); ++i) {
      size_t before = lines_.text().size();
      ring_.Clear();
      size_t vertices = emitter_.CollectVertices(rings[i], ring_);
      if (vertices < 2) {
        if (i == 0) return false;
        lines_.Truncate(before);
        continue;
      }
      ++used;
      lines_.Append("  " + std::to_string(vertices) + "\r\n");
      lines_.Append(ring_.text());
    }
    mif.Append("\r\nRegion  " + std::to_string(used) + " \r\n");
    mif.Append(lines_.text());
    mif.Append(style ? std::string_view(style->region) : kRegionParams.tail);
    return true;
  }

  static void PutHead(std::string_view head, size_t count, MifWriter& mif) {
    mif.Append("\r\n");
    mif.Append(head);
    mif.Append(std::to_string(count));
    mif.Append("\r\n");
  }

  const ExportSource& source_;
  const Plan& plan_;
  const std::vector<const Clauses*>* clauses_;
  const AttributeTable* table_;
  RecordEmitter emitter_;
  MifWriter lines_, ring_;
};

// The MIF header, with the table's columns in place of the one column GOOD.
std::string Header(const AttributeTable* table) {
  std::string header(MifHeader);
  if (!table) return header;
  size_t columns = header.find("Columns 1\r\n");
  size_t data = header.find("Data\r\n");
  return header.substr(0, columns) + table->MifColumns() + header.substr(data);
}

}  // namespace

bool ExportWithOptions(const ExportSource& source, const ConversionOptions& options, int threads,
                       const MifSink& mif_sink, const MifSink& mid_sink, ConversionReport* report) {
  if (!options.Any()) return ExportMif(source, threads, mif_sink);
  const std::string_view text = source.text;
  // The placemarks and the geometry plan are found in one pass over the text.
  std::unique_ptr<KmlFeatures> features;
  std::array<KindPlan, 3> kinds;
  if (options.attributes || options.styles) {
    ExportPlanner planner(text);
    features = std::make_unique<KmlFeatures>(ReadFeatures(text, source.encoding, threads, kFeatureBlock, &planner));
    kinds = std::move(planner.plans());
  } else {
    kinds = PlanExport(text, threads);
  }
  Plan plan = MakePlan(text, kinds, options, threads);

  // Each record's placemark: records come in document order within a section.
  std::vector<bool> used(features ? features->placemarks.size() : 0, false);
  if (features) {
    for (Section& section : plan.sections) {
      size_t hint = 0;
      for (PlannedRecord& r : section) {
        r.placemark = features->PlacemarkAt(r.position, &hint);
        if (r.placemark >= 0) used[static_cast<size_t>(r.placemark)] = true;
      }
    }
  }
  std::unique_ptr<AttributeTable> table;
  if (options.attributes) {
    table = std::make_unique<AttributeTable>(*features, used, threads);
    report->dropped_columns = table->dropped_columns();
    report->cut_values = table->cut_values();
  }
  std::unordered_map<const KmlStyle*, Clauses> style_clauses;
  std::vector<const Clauses*> clauses;
  if (options.styles) {
    // Placemarks in a row mostly name the same shared style: it is looked up once.
    std::string_view last_url;
    const Clauses* last = nullptr;
    for (const Placemark& placemark : features->placemarks) {
      std::string_view url = features->Value(placemark.style_url);
      if (last && placemark.inline_style < 0 && url == last_url) {
        clauses.push_back(last);
        continue;
      }
      const KmlStyle* style = features->StyleOf(placemark);
      auto [it, added] = style_clauses.try_emplace(style);
      if (added) it->second = {SymbolClause(style), PlineClause(style), RegionClause(style)};
      clauses.push_back(&it->second);
      last = placemark.inline_style < 0 ? &it->second : nullptr;
      last_url = url;
    }
  }

  if (!mif_sink(Header(table.get()))) return false;
  const int workers = ThreadsFor(text.size(), threads);
  for (size_t s = 0; s < plan.sections.size(); ++s) {
    if (s > 0 && !mif_sink("\r\n")) return false;
    const Section& section = plan.sections[s];
    std::vector<size_t> bounds =
        PieceBounds(section.size(), kRecordChunk, [&](size_t i) { return section[i].text.size() + 16; });
    bool ok = OrderedParallel<std::pair<MifWriter, MifWriter>>(
        bounds.size() - 1, workers, static_cast<size_t>(3 * workers),
        [&](size_t c) {
          RecordWriter writer(source, plan, options.styles ? &clauses : nullptr, table.get());
          std::pair<MifWriter, MifWriter> out;
          for (size_t i = bounds[c]; i < bounds[c + 1]; ++i) writer.Write(section[i], out.first, out.second);
          return out;
        },
        [&](size_t, std::pair<MifWriter, MifWriter>& out) {
          return (out.first.text().empty() || mif_sink(out.first.text())) &&
                 (!table || out.second.text().empty() || mid_sink(out.second.text()));
        });
    if (!ok) return false;
  }
  return true;
}

ConvertedText ConvertInMemory(const ExportSource& source, const ConversionOptions& options) {
  ConvertedText out;
  auto append_to = [](std::string& text) {
    return [&text](std::string_view piece) {
      text.append(piece);
      return true;
    };
  };
  ExportWithOptions(source, options, 1, append_to(out.mif), append_to(out.mid), &out.report);
  return out;
}
