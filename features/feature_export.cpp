#include "features/feature_export.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <unordered_map>

#include "features/attribute_table.h"
#include "features/kml_features.h"
#include "features/mif_styles.h"
#include "features/object_plan.h"
#include "features/object_writer.h"
#include "mif/coordinate_system.h"
#include "mif/export_plan.h"
#include "mif/ordered_parallel.h"
#include "mif/projection_grid.h"

namespace {

// Objects are written in pieces of about 1 MB of their texts.
constexpr size_t kObjectChunk = size_t{256} << 10;

// The style clauses of each placemark, one set for each style.
class StyleClauses {
 public:
  explicit StyleClauses(const KmlFeatures& features) {
    // Placemarks in a row mostly name the same shared style: it is looked up once.
    std::string_view last_url;
    const Clauses* last = nullptr;
    for (const Placemark& placemark : features.placemarks) {
      std::string_view url = features.Value(placemark.style_url);
      if (last && placemark.inline_style < 0 && url == last_url) {
        of_placemark_.push_back(last);
        continue;
      }
      const KmlStyle* style = features.StyleOf(placemark);
      auto [it, added] = by_style_.try_emplace(style);
      if (added) {
        std::string symbol = SymbolClause(style);
        symbol.resize(symbol.size() - 2);  // its line end goes with the record
        it->second = {std::move(symbol), PlineClause(style), RegionClause(style)};
      }
      of_placemark_.push_back(&it->second);
      last = placemark.inline_style < 0 ? &it->second : nullptr;
      last_url = url;
    }
  }
  const std::vector<const Clauses*>* of_placemark() const { return &of_placemark_; }

 private:
  std::unordered_map<const KmlStyle*, Clauses> by_style_;
  std::vector<const Clauses*> of_placemark_;
};

// What one piece of the objects gives.
struct Written {
  MifWriter mif, mid;
  size_t skipped = 0;
  RecordEmitter::Tally tally{};
};

// The frame of a projected file: the zone (the given one, or that of the centre of the data's
// longitudes), the projection, the grid that the vertices are projected through, and the
// header line with Bounds that hold every vertex of the data.
struct Projected {
  int zone = 0;
  std::unique_ptr<TransverseMercator> projection;
  std::unique_ptr<ProjectionGrid> grid;
  std::string coord_sys;
};

// The longitudes and latitudes of the first vertex of up to 4,096 of `count` coordinates
// texts spread over them, where first_vertex(i, &longitude, &latitude) reads that of the i-th:
// where the data likely lie, found in moments.
template <typename FirstVertex>
RecordEmitter::Extent SampleOf(size_t count, FirstVertex first_vertex) {
  constexpr size_t kSamples = 4096;
  RecordEmitter::Extent extent;
  const size_t step = count / kSamples + 1;
  for (size_t i = 0; i < count; i += step) {
    double longitude, latitude;
    if (first_vertex(i, &longitude, &latitude)) extent.Add(longitude, latitude);
  }
  return extent;
}

RecordEmitter::Extent SampleOf(const ObjectPlan& plan, const ExportSource& source) {
  return SampleOf(plan.parts.size(), [&](size_t i, double* longitude, double* latitude) {
    const Part& part = plan.parts[i];
    std::string_view coordinates = part.text;
    std::string track_coord;
    if (part.type == PartType::kTrack) {
      // Its first gx:coord, "lon lat alt", read as a tuple: enough for a guess.
      const size_t open = part.text.find("coord>");
      if (open == std::string_view::npos) return false;
      std::string_view coord = part.text.substr(open + 6);
      coord = coord.substr(0, coord.find('<'));
      const size_t first = coord.find_first_not_of(" \t\r\n");
      if (first == std::string_view::npos) return false;
      track_coord = coord.substr(first);
      std::replace_if(track_coord.begin(), track_coord.end(), [](char c) { return c == ' ' || c == '\t'; }, ',');
      coordinates = track_coord;
    }
    if (part.type == PartType::kPolygon) {
      std::vector<std::string_view> rings = RingsOf(part.text);
      if (rings.empty()) return false;
      coordinates = rings[0];
    }
    const RecordEmitter emitter(source.encoding, !track_coord.empty()  ? std::string_view(track_coord)
                                                 : part.joined == 0    ? source.text
                                                                       : std::string_view(*plan.joined[part.joined - 1]));
    return emitter.FirstVertex(coordinates, longitude, latitude);
  });
}

// The sample of the export plan's coordinates texts (those of joined element texts aside).
RecordEmitter::Extent SampleOf(const std::array<KindPlan, 3>& kinds, const ExportSource& source) {
  const size_t count = kinds[0].coordinates.size() + kinds[1].coordinates.size() + kinds[2].coordinates.size();
  const RecordEmitter emitter(source.encoding, source.text);
  return SampleOf(count, [&](size_t i, double* longitude, double* latitude) {
    size_t kind = 0;
    for (; i >= kinds[kind].coordinates.size(); ++kind) i -= kinds[kind].coordinates.size();
    const TextSpan& span = kinds[kind].coordinates[i];
    return emitter.FirstVertex(source.text.substr(span.begin, span.end - span.begin), longitude, latitude);
  });
}

// The frame for data within `extent`, projected through a grid over `area`.
Projected FrameOf(const CoordinateSystem& crs, RecordEmitter::Extent extent, const RecordEmitter::Extent& area) {
  Projected frame;
  // Without data, the zone of Beijing.
  const double centre = extent.empty() ? 117.0 : (extent.min_lon + extent.max_lon) / 2.0;
  frame.zone = crs.zone ? crs.zone : ZoneOf(crs.kind, centre);
  frame.projection = std::make_unique<TransverseMercator>(
      TransverseMercator::kCgcs2000Axis, TransverseMercator::kCgcs2000InverseFlattening,
      CentralMeridianOf(crs.kind, frame.zone), 1.0, FalseEastingOf(crs, frame.zone), 0.0);
  frame.grid = area.empty() ? std::make_unique<ProjectionGrid>(*frame.projection, 1.0, 0.0, 1.0, 0.0)
                            : std::make_unique<ProjectionGrid>(*frame.projection, area.min_lon, area.max_lon,
                                                               area.min_lat, area.max_lat);
  // The bounds of the projected data: its extent's edges, projected (a meridian's easting is
  // largest at the lowest latitude, a parallel's northing largest farthest from the central
  // meridian), and a kilometre more on every side.
  double min_x = 1e300, max_x = -1e300, min_y = 1e300, max_y = -1e300;
  if (extent.empty()) extent = {centre, centre, 0.0, 0.0};
  constexpr int kSteps = 64;
  for (int i = 0; i <= kSteps; ++i) {
    const double lon = extent.min_lon + (extent.max_lon - extent.min_lon) * i / kSteps;
    const double lat = extent.min_lat + (extent.max_lat - extent.min_lat) * i / kSteps;
    for (auto [x_lon, y_lat] : {std::pair{lon, extent.min_lat}, std::pair{lon, extent.max_lat},
                               std::pair{extent.min_lon, lat}, std::pair{extent.max_lon, lat}}) {
      double x, y;
      frame.projection->Forward(x_lon, y_lat, &x, &y);
      if (!std::isfinite(x) || !std::isfinite(y)) continue;
      min_x = std::min(min_x, x);
      max_x = std::max(max_x, x);
      min_y = std::min(min_y, y);
      max_y = std::max(max_y, y);
    }
  }
  constexpr double kMargin = 1000.0;
  frame.coord_sys = CoordSysLine(crs, frame.zone, std::floor(min_x - kMargin), std::floor(min_y - kMargin),
                                 std::ceil(max_x + kMargin), std::ceil(max_y + kMargin));
  return frame;
}

// Writes the files with write(frame, to_mif, to_mid, extent), which writes them in `frame`
// and, when `extent` is given, adds to it the longitudes and latitudes of every vertex
// projected; header_of(frame) is the header that write gives them. Unprojected, the files
// are written once. Projected, the header names the zone and the bounds of all the data,
// known only when every vertex has been read. The files are written once, in the frame that
// `sample` of the data gives, and the header put in place at the end, when the data's frame
// proves the same and its header as long; otherwise (or when the sinks cannot go back:
// nothing is written the first time) they are written again in the data's frame. The grid
// covers the sample's area and a degree around it, whichever frame is used, so that both give
// the same vertices.
template <typename Write, typename HeaderOf>
bool WriteInFrame(const CoordinateSystem& crs, const RecordEmitter::Extent& sample, const MifSink& mif_sink,
                  const MifSink& mid_sink, const SinkRewind* rewind, ConversionReport* report, Write write,
                  HeaderOf header_of) {
  Projected frame;
  if (!crs.Projected()) {
    frame.coord_sys = CoordSysLine(crs);
    return write(frame, mif_sink, mid_sink, nullptr);
  }
  RecordEmitter::Extent area = sample;
  if (!area.empty()) area = {area.min_lon - 1.0, area.max_lon + 1.0, area.min_lat - 1.0, area.max_lat + 1.0};
  Projected guess = FrameOf(crs, sample, area);
  const MifSink nowhere = [](std::string_view) { return true; };
  RecordEmitter::Extent extent;
  if (!write(guess, rewind ? mif_sink : nowhere, rewind ? mid_sink : nowhere, &extent)) return false;
  frame = FrameOf(crs, extent, area);
  report->zone = frame.zone;
  if (rewind && frame.zone == guess.zone && frame.coord_sys.size() == guess.coord_sys.size()) {
    return rewind->overwrite_start(header_of(frame));
  }
  if (rewind && !rewind->restart()) return false;
  return write(frame, mif_sink, mid_sink, nullptr);
}

// The options that change no more than the frame: the records of the plain export, with
// another header, projected or not.
bool ExportRecordsInFrame(const ExportSource& source, const CoordinateSystem& crs, int threads, const MifSink& mif_sink,
                          ConversionReport* report, const SinkRewind* rewind) {
  const std::array<KindPlan, 3> kinds = PlanExport(source.text, threads);
  auto header_of = [](const Projected& frame) { return MifHeaderWith(nullptr, false, frame.coord_sys); };
  auto write = [&](const Projected& frame, const MifSink& to_mif, const MifSink&, RecordEmitter::Extent* extent) {
    RecordProjection projection{frame.grid.get(), HalfWidthOf(crs.kind)};
    const bool written = ExportRecords(source, kinds, header_of(frame), threads, to_mif, frame.grid ? &projection : nullptr);
    report->skipped_objects = projection.skipped_records;
    report->far_vertices = projection.tally.far_vertices;
    if (extent) extent->Add(projection.tally.extent);
    return written;
  };
  const RecordEmitter::Extent sample = crs.Projected() ? SampleOf(kinds, source) : RecordEmitter::Extent();
  const MifSink no_mid = [](std::string_view) { return true; };
  return WriteInFrame(crs, sample, mif_sink, no_mid, rewind, report, write, header_of);
}

}  // namespace

bool ExportWithOptions(const ExportSource& source, const ConversionOptions& options, int threads,
                       const MifSink& mif_sink, const MifSink& mid_sink, ConversionReport* report,
                       const SinkRewind* rewind) {
  if (!options.Any()) return ExportMif(source, threads, mif_sink);
  // Without options that need the placemarks or make other objects, each geometry element
  // gives its record as in the plain export.
  if (!(options.Table() || options.styles || options.polygons || options.tracks || options.multi)) {
    return ExportRecordsInFrame(source, options.crs, threads, mif_sink, report, rewind);
  }
  const std::string_view text = source.text;
  // The placemarks, the geometry plan and the elements planned as parts are found in one pass
  // over the text.
  std::unique_ptr<KmlFeatures> features;
  std::array<KindPlan, 3> kinds;
  std::optional<NamedTagScan> elements;
  if (options.Table() || options.styles || options.multi) {
    ExportPlanner planner(text);
    FeatureReading reading;
    reading.whole_descriptions = options.plain_descriptions;
    if (std::vector<std::string_view> names = PartElementNames(options); !names.empty()) elements.emplace(std::move(names));
    features = std::make_unique<KmlFeatures>(ReadFeatures(text, source.encoding, threads, kFeatureBlock, &planner,
                                                          reading, elements ? &*elements : nullptr));
    kinds = std::move(planner.plans());
  } else {
    kinds = PlanExport(text, threads);
  }
  const ObjectPlan plan = MakeObjectPlan(text, kinds, options, features.get(), threads, elements ? &*elements : nullptr);
  std::unique_ptr<AttributeTable> table;
  if (options.Table()) {
    table = std::make_unique<AttributeTable>(*features, plan.used, threads,
                                             TableOptions{options.typed, options.times, options.plain_descriptions});
    report->dropped_columns = table->dropped_columns();
    report->cut_values = table->cut_values();
    for (const AttributeTable::Invalid& invalid : table->invalid_values()) {
      const char* type = invalid.type == FieldType::kInteger ? "Integer" : invalid.type == FieldType::kFloat ? "Float" : "Logical";
      report->invalid_values.push_back({invalid.column, type, invalid.count});
    }
  }
  std::unique_ptr<StyleClauses> clauses;
  if (options.styles) clauses = std::make_unique<StyleClauses>(*features);
  const int workers = ThreadsFor(text.size(), threads);
  auto new_writer = [&] {
    return ObjectWriter(source, plan, options, clauses ? clauses->of_placemark() : nullptr, table.get());
  };
  auto header_of = [&](const Projected& frame) {
    return MifHeaderWith(table.get(), NeedsVersion650(plan, options), frame.coord_sys);
  };

  // The objects, after the header: false when a sink returned false.
  Pool<MifWriter> pool;  // the writers of the pieces, kept for the next pieces
  auto write = [&](const Projected& frame, const MifSink& to_mif, const MifSink& to_mid, RecordEmitter::Extent* extent) {
    report->skipped_objects = report->far_vertices = 0;
    if (!to_mif(header_of(frame))) return false;
    for (size_t s = 0; s < plan.sections.size(); ++s) {
      if (s > 0 && !to_mif("\r\n")) return false;
      const ObjectSection& section = plan.sections[s];
      std::vector<size_t> bounds = PieceBounds(section.size(), kObjectChunk, [&](size_t i) {
        size_t bytes = 16;
        for (uint32_t p = section[i].first; p < section[i].first + section[i].count; ++p) bytes += plan.parts[p].text.size();
        return bytes;
      });
      bool ok = OrderedParallel<Written>(
          bounds.size() - 1, workers, static_cast<size_t>(3 * workers),
          [&](size_t c) {
            ObjectWriter writer = new_writer();
            if (frame.grid) writer.Project(frame.grid.get(), HalfWidthOf(options.crs.kind));
            Written out;
            out.mif = pool.Take();
            out.mid = pool.Take();
            for (size_t i = bounds[c]; i < bounds[c + 1]; ++i) writer.Write(section[i], out.mif, out.mid);
            out.skipped = writer.skipped_objects();
            out.tally = writer.tally();
            return out;
          },
          [&](size_t, Written& out) {
            report->skipped_objects += out.skipped;
            report->far_vertices += out.tally.far_vertices;
            if (extent) extent->Add(out.tally.extent);
            const bool written = (out.mif.text().empty() || to_mif(out.mif.text())) &&
                                 (!table || out.mid.text().empty() || to_mid(out.mid.text()));
            for (MifWriter* writer : {&out.mif, &out.mid}) {
              writer->Clear();
              pool.Give(*writer);
            }
            return written;
          });
      if (!ok) return false;
    }
    // Merged objects end without a line end; the file does not.
    return !plan.merged || to_mif("\r\n");
  };

  const RecordEmitter::Extent sample = options.crs.Projected() ? SampleOf(plan, source) : RecordEmitter::Extent();
  return WriteInFrame(options.crs, sample, mif_sink, mid_sink, rewind, report, write, header_of);
}

ConvertedText ConvertInMemory(const ExportSource& source, const ConversionOptions& options) {
  ConvertedText out;
  auto append_to = [](std::string& text) {
    return [&text](std::string_view piece) {
      text.append(piece);
      return true;
    };
  };
  const SinkRewind rewind{[&](std::string_view head) {
                            out.mif.replace(0, head.size(), head);
                            return true;
                          },
                          [&] {
                            out.mif.clear();
                            out.mid.clear();
                            return true;
                          }};
  ExportWithOptions(source, options, 1, append_to(out.mif), append_to(out.mid), &out.report, &rewind);
  return out;
}
