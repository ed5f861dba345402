#include "features/feature_export.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
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
  size_t skipped = 0, far = 0;
};

// The frame of a projected file: the zone (the given one, or that of the centre of the data's
// longitudes), the projection, and the header line with Bounds that hold every vertex.
struct Projected {
  int zone = 0;
  std::unique_ptr<TransverseMercator> projection;
  std::unique_ptr<ProjectionGrid> grid;  // over the data
  std::string coord_sys;
  // The vertices of the point, line and ring parts, parsed once, by part.
  std::vector<RecordEmitter::Parsed> parsed;
  std::vector<std::vector<double>> pairs;
};

template <typename NewWriter>
Projected FrameOf(const ObjectPlan& plan, const CoordinateSystem& crs, int workers, NewWriter new_writer) {
  // The longitudes and latitudes of the data, measured on the threads.
  struct Piece {
    RecordEmitter::Extent extent;
    std::vector<double> pairs;
    std::vector<RecordEmitter::Parsed> parsed;  // without their pointers yet
    std::vector<size_t> offsets;                // of their pairs in `pairs`
  };
  Projected frame;
  frame.parsed.resize(plan.parts.size());
  RecordEmitter::Extent extent;
  std::vector<size_t> bounds = PieceBounds(plan.parts.size(), kObjectChunk, [&](size_t i) { return plan.parts[i].text.size(); });
  OrderedParallel<Piece>(
      bounds.size() - 1, workers, static_cast<size_t>(3 * workers),
      [&](size_t c) {
        ObjectWriter writer = new_writer();
        Piece piece;
        piece.parsed.resize(bounds[c + 1] - bounds[c]);
        // Room for a pair in every 16 bytes of coordinates (a tuple takes 20 or more): the
        // pairs are written once, not copied as the vector grows, and the room never used is
        // never touched.
        size_t bytes = 0;
        for (size_t i = bounds[c]; i < bounds[c + 1]; ++i) bytes += plan.parts[i].text.size();
        piece.pairs.reserve(bytes / 8);
        for (size_t i = bounds[c]; i < bounds[c + 1]; ++i) {
          piece.offsets.push_back(piece.pairs.size());
          writer.AddToExtent(plan.parts[i], piece.extent, piece.pairs, &piece.parsed[i - bounds[c]]);
        }
        return piece;
      },
      [&](size_t c, Piece& piece) {
        extent.Add(piece.extent);
        frame.pairs.push_back(std::move(piece.pairs));
        const double* base = frame.pairs.back().data();
        for (size_t i = bounds[c]; i < bounds[c + 1]; ++i) {
          frame.parsed[i] = piece.parsed[i - bounds[c]];
          frame.parsed[i].pairs = base + piece.offsets[i - bounds[c]];
        }
        return true;
      });
  // Without data, the zone of Beijing.
  const double centre = extent.empty() ? 117.0 : (extent.min_lon + extent.max_lon) / 2.0;
  frame.zone = crs.zone ? crs.zone : ZoneOf(crs.kind, centre);
  frame.projection = std::make_unique<TransverseMercator>(
      TransverseMercator::kCgcs2000Axis, TransverseMercator::kCgcs2000InverseFlattening,
      CentralMeridianOf(crs.kind, frame.zone), 1.0, FalseEastingOf(crs, frame.zone), 0.0);
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
  frame.grid = std::make_unique<ProjectionGrid>(*frame.projection, extent.min_lon, extent.max_lon, extent.min_lat,
                                                extent.max_lat);
  constexpr double kMargin = 1000.0;
  frame.coord_sys = CoordSysLine(crs, frame.zone, std::floor(min_x - kMargin), std::floor(min_y - kMargin),
                                 std::ceil(max_x + kMargin), std::ceil(max_y + kMargin));
  return frame;
}

}  // namespace

bool ExportWithOptions(const ExportSource& source, const ConversionOptions& options, int threads,
                       const MifSink& mif_sink, const MifSink& mid_sink, ConversionReport* report) {
  if (!options.Any()) return ExportMif(source, threads, mif_sink);
  const std::string_view text = source.text;
  // The placemarks and the geometry plan are found in one pass over the text.
  std::unique_ptr<KmlFeatures> features;
  std::array<KindPlan, 3> kinds;
  if (options.Table() || options.styles || options.multi) {
    ExportPlanner planner(text);
    FeatureReading reading;
    reading.whole_descriptions = options.plain_descriptions;
    features = std::make_unique<KmlFeatures>(
        ReadFeatures(text, source.encoding, threads, kFeatureBlock, &planner, reading));
    kinds = std::move(planner.plans());
  } else {
    kinds = PlanExport(text, threads);
  }
  const ObjectPlan plan = MakeObjectPlan(text, kinds, options, features.get(), threads);
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

  Projected frame;
  if (options.crs.Projected()) {
    frame = FrameOf(plan, options.crs, workers, new_writer);
    report->zone = frame.zone;
  } else {
    frame.coord_sys = CoordSysLine(options.crs);
  }
  if (!mif_sink(MifHeaderWith(table.get(), NeedsVersion650(plan, options), frame.coord_sys))) return false;
  Pool<MifWriter> pool;  // the writers of the pieces, kept for the next pieces
  for (size_t s = 0; s < plan.sections.size(); ++s) {
    if (s > 0 && !mif_sink("\r\n")) return false;
    const std::vector<PlannedObject>& section = plan.sections[s];
    std::vector<size_t> bounds = PieceBounds(section.size(), kObjectChunk, [&](size_t i) {
      size_t bytes = 16;
      for (uint32_t p = section[i].first; p < section[i].first + section[i].count; ++p) bytes += plan.parts[p].text.size();
      return bytes;
    });
    bool ok = OrderedParallel<Written>(
        bounds.size() - 1, workers, static_cast<size_t>(3 * workers),
        [&](size_t c) {
          ObjectWriter writer = new_writer();
          if (frame.grid) writer.Project(frame.grid.get(), HalfWidthOf(options.crs.kind), &frame.parsed);
          Written out;
          out.mif = pool.Take();
          out.mid = pool.Take();
          for (size_t i = bounds[c]; i < bounds[c + 1]; ++i) writer.Write(section[i], out.mif, out.mid);
          out.skipped = writer.skipped_objects();
          out.far = writer.far_vertices();
          return out;
        },
        [&](size_t, Written& out) {
          report->skipped_objects += out.skipped;
          report->far_vertices += out.far;
          const bool written = (out.mif.text().empty() || mif_sink(out.mif.text())) &&
                               (!table || out.mid.text().empty() || mid_sink(out.mid.text()));
          for (MifWriter* writer : {&out.mif, &out.mid}) {
            writer->Clear();
            pool.Give(*writer);
          }
          return written;
        });
    if (!ok) return false;
  }
  // Merged objects end without a line end; the file does not.
  return !plan.merged || mif_sink("\r\n");
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
