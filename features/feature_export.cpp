#include "features/feature_export.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <tuple>
#include <unordered_map>

#include "features/document_survey.h"
#include "features/merged_features.h"
#include "features/mif_styles.h"
#include "features/object_writer.h"
#include "features/table_layout.h"
#include "document/text_io.h"
#include "mif/coordinate_system.h"
#include "mif/export_plan.h"
#include "mif/ordered_parallel.h"
#include "mif/projection_grid.h"

namespace {

// Objects are written in pieces of about 1 MB of their texts.
constexpr size_t kObjectChunk = size_t{256} << 10;

// The style clauses of the placemarks: of each shared style (and of none) made once, of a
// placemark's own style when it is read.
class StyleClauses {
 public:
  explicit StyleClauses(const KmlFeatures& document) {
    Add(nullptr);
    for (const auto& [id, style] : document.styles) Add(&style);
    for (const auto& [id, style] : document.style_map_styles) Add(&style);
  }
  // The clauses of `style`, a shared one or none; of a placemark's own, made in `own`.
  const Clauses* Of(const KmlStyle* style, bool shared, Clauses& own) const {
    if (shared) return &by_style_.at(style);
    own = Make(style);
    return &own;
  }

 private:
  static Clauses Make(const KmlStyle* style) {
    std::string symbol = SymbolClause(style);
    symbol.resize(symbol.size() - 2);  // its line end goes with the record
    return {std::move(symbol), PlineClause(style), RegionClause(style)};
  }
  void Add(const KmlStyle* style) { by_style_.emplace(style, Make(style)); }
  std::unordered_map<const KmlStyle*, Clauses> by_style_;
};

// What a pass of writing gave: what its records left out and need, and their projected bounds,
// far vertices and vertices by zone.
struct PassResult {
  RecordReport records;
  RecordEmitter::Tally tally{};
  RecordEmitter::ZoneCounts zones{};
  size_t no_altitude = 0;
};

// What one piece of the objects gives.
struct Written {
  MifWriter mif, mid;
  PassResult result;
  bool unread = false;  // a record of the spool could not be read: nothing of it may be written
};

// The frame of a file: unprojected, its CoordSys line; projected (--crs gk3, gk6), the zone,
// the projection, the grid that the vertices are projected through and the header line with
// Bounds. `version` is the version its header says.
struct Frame {
  int zone = 0;
  int version = 300;
  std::unique_ptr<TransverseMercator> projection;
  std::unique_ptr<ProjectionGrid> grid;
  std::string coord_sys;
};

// Where the data likely lie, found in moments: the places of the first vertex of up to 4,096
// of `count` coordinates texts spread over them, where first_vertex(i, &longitude, &latitude)
// reads that of the i-th.
using Places = std::vector<std::pair<double, double>>;
template <typename FirstVertex>
Places SampleOf(size_t count, FirstVertex first_vertex) {
  constexpr size_t kSamples = 4096;
  Places places;
  const size_t step = count / kSamples + 1;
  for (size_t i = 0; i < count; i += step) {
    double longitude, latitude;
    if (first_vertex(i, &longitude, &latitude)) places.emplace_back(longitude, latitude);
  }
  return places;
}

// The first vertex of a part: of a track its first gx:coord, "lon lat alt", read as a tuple,
// enough for a guess; of a polygon its outer ring's.
bool FirstVertexOf(const Part& part, double* longitude, double* latitude) {
  std::string_view coordinates = part.text;
  std::string track_coord;
  if (part.type == PartType::kNone) return false;
  if (part.type == PartType::kTrack) {
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
  const RecordEmitter emitter(!track_coord.empty() ? std::string_view(track_coord) : part.in);
  return emitter.FirstVertex(coordinates, longitude, latitude);
}

// The sample of the parts of `index`, taken in the order of the parts' plan: in sections, the
// order they are written in; merged, the parts in placemarks by placemark, then those outside
// them by section.
Places SampleOf(const PartIndex& index, const ExportSource& source) {
  std::vector<const IndexedPart*> parts;
  if (!index.merged) {
    for (const std::vector<IndexedPart>& section : index.sections) {
      for (const IndexedPart& part : section) parts.push_back(&part);
    }
  } else {
    const std::vector<IndexedPart>& list = index.sections[0];
    std::vector<std::pair<size_t, size_t>> objects;  // of placemarks: first, count
    ForEachObject(list, true, [&](size_t first, size_t count) {
      if (list[first].placemark != IndexedPart::kNoPlacemark && list[first].type != PartType::kNone) {
        objects.emplace_back(first, count);
      }
    });
    std::stable_sort(objects.begin(), objects.end(),
                     [&](const auto& a, const auto& b) { return list[a.first].placemark < list[b.first].placemark; });
    for (const auto& [first, count] : objects) {
      for (size_t i = first; i < first + count; ++i) parts.push_back(&list[i]);
    }
    for (size_t section = 0; section < 3; ++section) {
      for (const IndexedPart& part : list) {
        if (part.placemark == IndexedPart::kNoPlacemark && SectionOf(part.type) == section) parts.push_back(&part);
      }
    }
  }
  return SampleOf(parts.size(), [&](size_t i, double* longitude, double* latitude) {
    return FirstVertexOf(index.PartOf(*parts[i], source.text), longitude, latitude);
  });
}

// The sample of the export plan's coordinates texts (those of joined element texts aside).
Places SampleOf(const std::array<KindPlan, 3>& kinds, const ExportSource& source) {
  const size_t count = kinds[0].coordinates.size() + kinds[1].coordinates.size() + kinds[2].coordinates.size();
  const RecordEmitter emitter(source.text);
  return SampleOf(count, [&](size_t i, double* longitude, double* latitude) {
    size_t kind = 0;
    for (; i >= kinds[kind].coordinates.size(); ++kind) i -= kinds[kind].coordinates.size();
    const TextSpan& span = kinds[kind].coordinates[i];
    return emitter.FirstVertex(source.text.substr(span.begin, span.end - span.begin), longitude, latitude);
  });
}

int ZoneWidthOf(CoordinateSystem::Kind kind) { return kind == CoordinateSystem::Kind::kGaussKruger3 ? 3 : 6; }

// The zone of `kind` that holds the most of the vertices counted, `otherwise` when none were.
// Ties go to `otherwise`, then to the zones over China, then to the lower zone.
int MostVertices(const RecordEmitter::ZoneCounts& counts, CoordinateSystem::Kind kind, int otherwise) {
  auto rank = [&](int zone) {
    return std::tuple(counts[static_cast<size_t>(zone + RecordEmitter::kZoneOffset)], zone == otherwise,
                      IsChineseZone(kind, zone), -zone);
  };
  int most = otherwise;
  bool any = false;
  for (size_t z = 0; z < counts.size(); ++z) {
    const int zone = static_cast<int>(z) - RecordEmitter::kZoneOffset;
    if (counts[z] == 0 || (any && rank(zone) <= rank(most))) continue;
    most = zone;
    any = true;
  }
  return most;
}

// The CoordSys line of `zone` with Bounds that hold `bounds` with a kilometre to spare on
// every side, no wider than the data need: MapInfo stores coordinates within the bounds at a
// fixed precision. Without data, a square around the zone's origin.
std::string CoordSysOf(const CoordinateSystem& crs, int zone, RecordEmitter::Bounds bounds) {
  constexpr double kMargin = 1000.0;
  if (bounds.empty()) bounds.Add(FalseEastingOf(crs, zone), 0.0);
  return CoordSysLine(crs, zone, std::floor(bounds.min_x - kMargin), std::floor(bounds.min_y - kMargin),
                      std::ceil(bounds.max_x + kMargin), std::ceil(bounds.max_y + kMargin));
}

// The frame of `zone`, projected through a grid over `area`, with Bounds guessed from where
// the sampled `places` lie.
Frame FrameOf(const CoordinateSystem& crs, int zone, const RecordEmitter::Extent& area, const Places& places) {
  Frame frame;
  frame.zone = zone;
  frame.projection = std::make_unique<TransverseMercator>(
      TransverseMercator::kCgcs2000Axis, TransverseMercator::kCgcs2000InverseFlattening,
      CentralMeridianOf(crs.kind, zone), 1.0, FalseEastingOf(crs, zone), 0.0);
  frame.grid = area.empty() ? std::make_unique<ProjectionGrid>(*frame.projection, 1.0, 0.0, 1.0, 0.0)
                            : std::make_unique<ProjectionGrid>(*frame.projection, area.min_lon, area.max_lon,
                                                               area.min_lat, area.max_lat);
  RecordEmitter::Bounds guess;
  for (const auto& [longitude, latitude] : places) {
    double x, y;
    if (std::fabs(longitude - frame.projection->central_meridian()) > 90.0) continue;
    frame.projection->Forward(longitude, latitude, &x, &y);
    if (std::isfinite(x) && std::isfinite(y)) guess.Add(x, y);
  }
  frame.coord_sys = CoordSysOf(crs, zone, guess);
  return frame;
}

// Writes the files with write(frame, to_mif, to_mid, result), which writes them in `frame`
// with the header header_of(frame) and tells in `result` what its records gave. Unprojected,
// the files are written once. Projected, the header names the zone (the given one, or the one
// that holds the most vertices) and the bounds of all the data, known only when every vertex
// has been read. The files are written in the frame of a guess from `sample`, and the header
// put in place at the end when the data's zone proves the same and their header as long;
// otherwise (or when the sinks cannot go back: nothing is written the first time) they are
// written again. The grid covers the sample's area and a degree around it, whichever frame
// is used, so that all give the same vertices. Data whose zone is none of the item's are not
// written: false, with report->zone_refused.
template <typename Write, typename HeaderOf>
bool WriteInFrame(const CoordinateSystem& crs, const Places& sample, int version, const MifSink& mif_sink,
                  const MifSink& mid_sink, const SinkRewind* rewind, ConversionReport* report, Write write,
                  HeaderOf header_of) {
  Frame frame;
  frame.version = version;
  PassResult result;
  auto keep = [&] {
    report->records = result.records;
    report->far_vertices = result.tally.far_vertices;
    report->no_altitude = result.no_altitude;
  };
  if (!crs.Projected()) {
    frame.coord_sys = CoordSysLine(crs);
    const bool written = write(frame, mif_sink, mid_sink, &result);
    keep();
    return written;
  }
  RecordEmitter::Extent area;
  RecordEmitter::ZoneCounts sampled{};
  for (const auto& [longitude, latitude] : sample) {
    area.Add(longitude, latitude);
    const int zone = ZoneOf(crs.kind, longitude);
    ++sampled[static_cast<size_t>(zone + RecordEmitter::kZoneOffset)];
  }
  if (!area.empty()) area = {area.min_lon - 1.0, area.max_lon + 1.0, area.min_lat - 1.0, area.max_lat + 1.0};
  // Without data, the zone of Beijing.
  const int beijing = ZoneOf(crs.kind, 117.0);
  frame = FrameOf(crs, crs.zone ? crs.zone : MostVertices(sampled, crs.kind, beijing), area, sample);
  frame.version = version;
  const MifSink nowhere = [](std::string_view) { return true; };
  bool exact = false;  // whether the frame's header is the data's
  for (;;) {
    const bool real = rewind || exact;
    const std::string written_header = header_of(frame);
    result = PassResult();
    if (!write(frame, real ? mif_sink : nowhere, real ? mid_sink : nowhere, &result)) return false;
    const int zone = crs.zone ? crs.zone : MostVertices(result.zones, crs.kind, frame.zone);
    report->zone = zone;
    if (!IsChineseZone(crs.kind, zone)) {
      report->zone_refused = true;
      return false;
    }
    if (zone != frame.zone) {
      frame = FrameOf(crs, zone, area, sample);
      frame.version = version;
      exact = false;
    } else {
      keep();
      if (exact) return true;
      frame.coord_sys = CoordSysOf(crs, zone, result.tally.bounds);
      frame.version = result.records.version.version;
      if (real && header_of(frame).size() == written_header.size()) return rewind->overwrite_start(header_of(frame));
      exact = true;
    }
    if (real && !rewind->restart()) return false;
  }
}


// The options that change no more than the frame: the records of the plain export, with
// another header, projected or not.
bool ExportRecordsInFrame(const ExportSource& source, const CoordinateSystem& crs, int threads, const MifSink& mif_sink,
                          ConversionReport* report, const SinkRewind* rewind) {
  const std::array<KindPlan, 3> kinds = PlanExport(source.text, threads);
  auto header_of = [](const Frame& frame) { return MifHeaderOf(frame.version, frame.coord_sys); };
  const int zones = crs.Projected() && crs.zone == 0 ? ZoneWidthOf(crs.kind) : 0;
  auto write = [&](const Frame& frame, const MifSink& to_mif, const MifSink&, PassResult* result) {
    RecordProjection projection{frame.grid.get(), HalfWidthOf(crs.kind), zones};
    const bool written = ExportRecords(source, kinds, header_of(frame), threads, to_mif, &result->records,
                                       frame.grid ? &projection : nullptr);
    result->tally = projection.tally;
    result->zones = projection.zone_counts;
    return written;
  };
  const Places sample = crs.Projected() ? SampleOf(kinds, source) : Places();
  const MifSink no_mid = [](std::string_view) { return true; };
  return WriteInFrame(crs, sample, MeasureRecords(source, kinds).version, mif_sink, no_mid, rewind, report, write,
                      header_of);
}

// What the writing of one input needs: its survey, its styles' clauses, and, merged,
// where its fields and folders lie among those of all, and the text of its Source column.
struct InputReading {
  const ExportSource* source;
  DocumentSurvey survey;
  std::unique_ptr<StyleClauses> clauses;
  const std::vector<int>* field_of = nullptr;  // merged: its document's fields among all
  int first_folder = 0;
  std::string source_value;  // merged: its name as the Source column holds it
  std::string empty_row;     // the row of an object outside placemarks
};

const char* TypeName(FieldType type) {
  return type == FieldType::kLogical                                           ? "Logical"
         : type == FieldType::kFloat || type == FieldType::kUnsignedFloat ? "Float"
                                                                           : "Integer";
}

// Every conversion, of one input or of several into one table: each document is read once for
// what the header and the rows need and where the objects' parts lie, and then the objects are
// written with their rows, each placemark's values and style as that reading spooled them, and
// each part's text taken where it lies in the document. Without options, no
// placemark is read: each coordinates text the plain export's plan finds is an object. Merged,
// the objects of each input follow those of the one before, each row with its input's name.
bool ExportInputs(const std::vector<ExportInput>& inputs, bool merge, const ConversionOptions& options, int threads,
                  const MifSink& mif_sink, const MifSink& mid_sink, ConversionReport* report, const SinkRewind* rewind,
                  size_t block) {
  std::vector<InputReading> readings(inputs.size());
  size_t source_width = 1;
  for (size_t i = 0; i < inputs.size(); ++i) {
    readings[i].source = &inputs[i].source;
    readings[i].survey = SurveyDocument(inputs[i].source, options, threads, block);
    if (options.styles) readings[i].clauses = std::make_unique<StyleClauses>(*readings[i].survey.document);
    source_width = std::max(source_width, inputs[i].name.size());
  }
  std::optional<MergedFeatures> merged;
  if (merge && options.Table()) {
    std::vector<const DocumentSurvey*> surveys;
    for (const InputReading& reading : readings) surveys.push_back(&reading.survey);
    merged = MergeFeatures(surveys);
  }
  const KmlFeatures& document = merged ? merged->document : *readings[0].survey.document;
  const RowCounts& rows = merged ? merged->rows : readings[0].survey.rows;
  TableOptions table_options = TableOptionsFor(options);
  if (merge) table_options.source_width = source_width;
  std::unique_ptr<TableLayout> table;
  std::string columns;
  if (options.Table()) {
    table = std::make_unique<TableLayout>(document, rows, table_options);
    columns = table->MifColumns();
    report->dropped_columns = table->dropped_columns();
    report->cut_values = table->cut_values();
    report->renamed_columns = table->renamed();
    report->unrepresented = document.unrepresented;
    report->described_twice = rows.described_twice;
    for (const TableLayout::Invalid& invalid : table->invalid_values()) {
      report->invalid_values.push_back({invalid.column, TypeName(invalid.type), invalid.count});
    }
  } else if (merge) {
    columns = "Columns 1\r\n  Source Char(" + std::to_string(std::min(source_width, TableLayout::kLongestValue)) + ")\r\n";
  }
  for (size_t i = 0; i < inputs.size(); ++i) {
    InputReading& reading = readings[i];
    if (merged) {
      reading.field_of = &merged->field_of[i];
      reading.first_folder = merged->first_folder[i];
    }
    if (merge) reading.source_value = std::string(CutBetweenCharacters(inputs[i].name, TableLayout::kLongestValue));
    if (table) {
      std::vector<std::string_view> scratch;
      table->AppendRow(RowValues(), -1, reading.empty_row, scratch, reading.source_value);
    } else if (merge) {
      AppendQuoted(reading.source_value, reading.empty_row);
      reading.empty_row += "\r\n";
    }
  }
  const bool has_rows = table || merge;
  const bool spooled = table || options.styles;
  const bool in_one_list = readings[0].survey.parts.merged;
  const int zones = options.crs.Projected() && options.crs.zone == 0 ? ZoneWidthOf(options.crs.kind) : 0;
  auto header_of = [&](const Frame& frame) { return MifHeaderOf(frame.version, frame.coord_sys, columns); };
  size_t bytes = 0;
  for (const ExportInput& input : inputs) bytes += input.source.text.size();
  const int workers = ThreadsFor(bytes, threads);

  // What a worker keeps from piece to piece.
  struct Worker {
    std::vector<std::unique_ptr<RowSpool::Cursor>> cursors;  // of each input's spool, made when needed
    RowValues values;
    RowSpool::Style style;
    std::string row;
    std::vector<std::string_view> scratch;
    std::vector<Part> parts;
    Clauses own;
  };
  Pool<std::unique_ptr<Worker>> workers_pool;
  Pool<MifWriter> pool;  // the writers of the pieces, kept for the next pieces
  // The objects of input `i`'s section `s`, to the sinks.
  auto write_section = [&](const Frame& frame, size_t i, size_t s, const MifSink& to_mif, const MifSink& to_mid,
                           PassResult* result) {
    const InputReading& reading = readings[i];
    const std::string_view text = reading.source->text;
    const PartIndex& index = reading.survey.parts;
    const std::vector<IndexedPart>& section = index.sections[s];
    // Pieces of about kObjectChunk bytes of their parts' texts, cut between objects.
    std::vector<size_t> bounds{0};
    size_t piece_bytes = 0;
    ForEachObject(section, index.merged, [&](size_t first, size_t count) {
      piece_bytes += 16;
      for (size_t p = first; p < first + count; ++p) piece_bytes += section[p].end - section[p].begin;
      if (piece_bytes >= kObjectChunk) {
        bounds.push_back(first + count);
        piece_bytes = 0;
      }
    });
    if (bounds.back() != section.size()) bounds.push_back(section.size());
    return OrderedParallel<Written>(
        bounds.size() - 1, workers, static_cast<size_t>(3 * workers),
        [&](size_t c) {
          std::unique_ptr<Worker> worker = workers_pool.Take();
          if (!worker) worker = std::make_unique<Worker>();
          if (worker->cursors.size() <= i) worker->cursors.resize(i + 1);
          std::unique_ptr<RowSpool::Cursor>& cursor = worker->cursors[i];
          if (spooled && !cursor) cursor = std::make_unique<RowSpool::Cursor>(*reading.survey.spool);
          ObjectWriter writer(text, options, index.merged, has_rows);
          if (frame.grid) writer.Project(frame.grid.get(), HalfWidthOf(options.crs.kind), zones);
          Written out;
          out.mif = pool.Take();
          out.mid = pool.Take();
          const std::span<const IndexedPart> piece(section.data() + bounds[c], bounds[c + 1] - bounds[c]);
          uint32_t read_at = IndexedPart::kNoPlacemark;  // the placemark whose row and style are at hand
          const Clauses* style = nullptr;
          if (!table) worker->row = reading.empty_row;  // merged without columns: its Source alone
          ForEachObject(piece, index.merged, [&](size_t first, size_t count) {
            const IndexedPart& head = piece[first];
            const bool in_placemark = head.placemark != IndexedPart::kNoPlacemark;
            if (in_placemark && spooled && head.placemark != read_at) {
              if (!cursor->At(head.placemark, &worker->values, &worker->style)) {
                out.unread = true;
                return;
              }
              if (table) {
                if (reading.field_of) {
                  for (auto& [field, value] : worker->values.data) field = (*reading.field_of)[static_cast<size_t>(field)];
                }
                worker->row.clear();
                table->AppendRow(worker->values, head.folder < 0 ? -1 : head.folder + reading.first_folder, worker->row,
                                 worker->scratch, reading.source_value);
              }
              if (reading.clauses) {
                const RowSpool::Style& spooled_style = worker->style;
                const KmlStyle* of =
                    spooled_style.own ? &spooled_style.style : reading.survey.document->SharedStyle(spooled_style.url);
                style = reading.clauses->Of(of, !spooled_style.own, worker->own);
              }
              read_at = head.placemark;
            }
            worker->parts.clear();
            for (size_t p = first; p < first + count; ++p) {
              if (piece[p].type != PartType::kNone) worker->parts.push_back(index.PartOf(piece[p], text));
            }
            const std::string_view row = !has_rows                 ? std::string_view()
                                         : in_placemark || !table ? std::string_view(worker->row)
                                                                  : std::string_view(reading.empty_row);
            writer.Write(worker->parts.data(), worker->parts.size(), in_placemark, in_placemark ? style : nullptr, row,
                         out.mif, out.mid);
          });
          out.result = {writer.report(), writer.tally(), writer.zone_counts(), writer.no_altitude()};
          // The first vertex left out is told as its document writes it; merged, the first
          // of the first input that has one.
          LeftOut& left_out = out.result.records.left_out;
          if (!left_out.first.empty()) left_out.first = DecodePart(left_out.first, reading.source->encoding);
          left_out.first_at = std::min<uint64_t>(left_out.first_at, UINT64_MAX >> 8) | (uint64_t{std::min<size_t>(i, 255)} << 56);
          workers_pool.Give(worker);
          return out;
        },
        [&](size_t, Written& out) {
          if (out.unread) {
            report->records_unread = true;
            return false;
          }
          result->records.Add(out.result.records);
          result->tally.Add(out.result.tally);
          for (size_t z = 0; z < result->zones.size(); ++z) result->zones[z] += out.result.zones[z];
          result->no_altitude += out.result.no_altitude;
          const bool written = (out.mif.text().empty() || to_mif(out.mif.text())) &&
                               (!has_rows || out.mid.text().empty() || to_mid(out.mid.text()));
          for (MifWriter* writer : {&out.mif, &out.mid}) {
            writer->Clear();
            pool.Give(*writer);
          }
          return written;
        });
  };
  // The objects, after the header: false when a sink returned false. In sections, a blank line
  // parts each from the next, also from one input to the next.
  auto write = [&](const Frame& frame, const MifSink& to_mif, const MifSink& to_mid, PassResult* result) {
    if (!to_mif(header_of(frame))) return false;
    const size_t sections = in_one_list ? 1 : 3;
    for (size_t i = 0; i < readings.size(); ++i) {
      for (size_t s = 0; s < sections; ++s) {
        if ((i > 0 || s > 0) && !in_one_list && !to_mif("\r\n")) return false;
        if (!write_section(frame, i, s, to_mif, to_mid, result)) return false;
      }
    }
    // Merged objects end without a line end; the file does not.
    return !in_one_list || to_mif("\r\n");
  };

  Places sample;
  VersionNeeds needs;
  for (const InputReading& reading : readings) {
    if (options.crs.Projected()) {
      const Places places = SampleOf(reading.survey.parts, *reading.source);
      sample.insert(sample.end(), places.begin(), places.end());
    }
    needs.Need(MeasureObjects(reading.source->text, reading.survey.parts, options).version);
  }
  return WriteInFrame(options.crs, sample, needs.version, mif_sink, mid_sink, rewind, report, write, header_of);
}

}  // namespace

bool ExportWithOptions(const ExportSource& source, const ConversionOptions& options, int threads,
                       const MifSink& mif_sink, const MifSink& mid_sink, ConversionReport* report,
                       const SinkRewind* rewind, size_t block) {
  // Without options that read the placemarks or make other objects, the plain export's
  // records in the frame of the coordinate system: as the parts index writes them, at the
  // plain export's speed (the index costs small placemarks half again as much).
  if (!(options.Table() || options.styles || options.polygons || options.tracks || options.multi)) {
    const bool written = ExportRecordsInFrame(source, options.crs, threads, mif_sink, report, rewind);
    std::string& first = report->records.left_out.first;
    if (!first.empty()) first = DecodePart(first, source.encoding);
    return written;
  }
  return ExportInputs({{source, ""}}, false, options, threads, mif_sink, mid_sink, report, rewind, block);
}

bool ExportMerged(const std::vector<ExportInput>& inputs, const ConversionOptions& options, int threads,
                  const MifSink& mif_sink, const MifSink& mid_sink, ConversionReport* report, const SinkRewind* rewind,
                  size_t block) {
  return ExportInputs(inputs, true, options, threads, mif_sink, mid_sink, report, rewind, block);
}

std::string GroupedDigits(size_t n) {
  const std::string digits = std::to_string(n);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
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
  if (out.report.zone_refused || out.report.records_unread) {
    out.mif.clear();
    out.mid.clear();
  }
  return out;
}
