#include "mif/file_export.h"

#include <algorithm>

#include "document/encoding.h"
#include "mif/export_plan.h"
#include "mif/ordered_parallel.h"
#include "mif/record_emitter.h"
#include "mif/section_builders.h"

namespace {

// Records are built in pieces of about 1 MB of coordinates.
constexpr size_t kRecordChunk = size_t{256} << 10;

// The records of a piece, what they left out and need, and what their projected vertices gave.
struct Piece {
  MifWriter records;
  RecordReport report;
  RecordEmitter::Tally tally{};
  RecordEmitter::ZoneCounts zones{};
};

// Appends the record of one coordinates text of `kind`. A record not written counts none of
// its projected vertices.
void AppendRecord(int kind, std::string_view coordinates, RecordEmitter& emitter, Piece& piece) {
  const RecordEmitter::Tally before = emitter.tally();
  const bool written = kind == 0 ? emitter.AppendPoint(coordinates, piece.records)
                                 : emitter.AppendVertices(coordinates, kind == 1 ? kPlineParams : kRegionParams, piece.records);
  if (!written) {
    emitter.Restore(before);
    piece.report.left_out.records += emitter.left_out();
    return;
  }
  ++piece.report.objects;
  if (kind > 0) piece.report.version.AddObject(false, 1, emitter.last_count());
}

// Fills in what the emitter of a piece counted.
void Close(Piece& piece, const RecordEmitter& emitter) {
  piece.report.left_out.Add(emitter.left_out_vertices());
  piece.tally = emitter.tally();
  piece.zones = emitter.zone_counts();
}

bool ExportKind(const ExportSource& source, const KindPlan& plan, int kind, int threads, Pool<MifWriter>& pool,
                const MifSink& sink, RecordReport* report, RecordProjection* projection) {
  std::string_view text = source.text;
  auto new_emitter = [&](std::string_view in) {
    RecordEmitter emitter(in);
    if (projection) emitter.Project(projection->grid, projection->half_width, projection->zones);
    return emitter;
  };
  auto consume = [&](Piece& piece) {
    report->Add(piece.report);
    if (projection) {
      projection->tally.Add(piece.tally);
      for (size_t z = 0; z < piece.zones.size(); ++z) projection->zone_counts[z] += piece.zones[z];
    }
    const bool written = piece.records.text().empty() || sink(piece.records.text());
    piece.records.Clear();
    pool.Give(piece.records);
    return written;
  };
  std::vector<size_t> bounds = PieceBounds(plan.coordinates.size(), kRecordChunk, [&](size_t i) {
    return plan.coordinates[i].end - plan.coordinates[i].begin;
  });
  bool ok = OrderedParallel<Piece>(
      bounds.size() - 1, ThreadsFor(text.size(), threads), static_cast<size_t>(3 * threads),
      [&](size_t c) {
        RecordEmitter emitter = new_emitter(text);
        Piece piece;
        piece.records = pool.Take();
        // Records are shorter than their coordinates texts, but for those of a few tuples.
        size_t bound = 0;
        for (size_t i = bounds[c]; i < bounds[c + 1]; ++i) {
          bound += plan.coordinates[i].end - plan.coordinates[i].begin + 64;
        }
        piece.records.Reserve(bound);
        for (size_t i = bounds[c]; i < bounds[c + 1]; ++i) {
          const TextSpan& span = plan.coordinates[i];
          AppendRecord(kind, text.substr(span.begin, span.end - span.begin), emitter, piece);
        }
        Close(piece, emitter);
        return piece;
      },
      [&](size_t, Piece& piece) { return consume(piece); });
  if (!ok || plan.joined_from_here.empty()) return ok;
  const std::string joined = JoinSpans(text, plan.joined_from_here);
  RecordEmitter emitter = new_emitter(joined);
  // Its tuples' places come after the document's, the kinds' joined texts in their order.
  emitter.SetText(joined, static_cast<size_t>(kind) + 1);
  Piece piece;
  ForEachJoinedCoordinates(plan, joined, [&](std::string_view coordinates, size_t) {
    AppendRecord(kind, coordinates, emitter, piece);
  });
  Close(piece, emitter);
  return consume(piece);
}

// The first zero byte of `bytes`, or its size; pieces of 16 MB are searched side by side.
size_t FirstZeroByte(std::string_view bytes, int threads) {
  constexpr size_t kPiece = size_t{16} << 20;
  size_t found = bytes.size();
  OrderedParallel<size_t>(
      (bytes.size() + kPiece - 1) / kPiece, ThreadsFor(bytes.size(), threads), static_cast<size_t>(2 * threads),
      [&](size_t i) { return bytes.substr(i * kPiece, kPiece).find('\0'); },
      [&](size_t i, size_t& at) {
        if (at == std::string_view::npos) return true;
        found = i * kPiece + at;
        return false;
      });
  return found;
}

}  // namespace

ExportSource SourceOf(std::string_view bytes, Encoding encoding, std::string* decoded, int threads) {
  if (HasUtf16ByteOrderMark(bytes)) {
    *decoded = DecodeDocument(std::string(bytes), encoding);
    return {*decoded, Encoding::kAnsi};
  }
  bytes = bytes.substr(0, FirstZeroByte(bytes, threads));
  if (encoding == Encoding::kUtf8 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  return {bytes, encoding};
}

bool ExportMif(const ExportSource& source, int threads, const MifSink& sink, RecordReport* report) {
  const std::array<KindPlan, 3> plans = PlanExport(source.text, threads);
  const VersionNeeds needs = MeasureRecords(source, plans);
  RecordReport ignored;
  return ExportRecords(source, plans, MifHeaderOf(needs.version, "CoordSys Earth Projection 1, 0"), threads, sink,
                       report ? report : &ignored);
}

VersionNeeds MeasureRecords(const ExportSource& source, const std::array<KindPlan, 3>& plans) {
  // A vertex takes three bytes and a blank at least: a text of fewer bytes than this holds
  // no more vertices than version 300 allows.
  constexpr size_t kMayNeedMore = 4 * 32768 - 1;
  VersionNeeds needs;
  for (int kind = 1; kind < 3; ++kind) {
    const VertexSectionParams& params = kind == 1 ? kPlineParams : kRegionParams;
    auto measure = [&](std::string_view in, std::string_view coordinates) {
      if (coordinates.size() < kMayNeedMore) return;
      const size_t count = RecordEmitter(in).CountVertices(coordinates);
      if (count >= params.fewest) needs.AddObject(false, 1, count);
    };
    for (const TextSpan& span : plans[kind].coordinates) {
      measure(source.text, source.text.substr(span.begin, span.end - span.begin));
    }
    if (plans[kind].joined_from_here.empty()) continue;
    const std::string joined = JoinSpans(source.text, plans[kind].joined_from_here);
    ForEachJoinedCoordinates(plans[kind], joined, [&](std::string_view coordinates, size_t) { measure(joined, coordinates); });
  }
  return needs;
}

bool ExportRecords(const ExportSource& source, const std::array<KindPlan, 3>& plans, std::string_view header,
                   int threads, const MifSink& sink, RecordReport* report, RecordProjection* projection) {
  *report = RecordReport();
  if (projection) *projection = {projection->grid, projection->half_width, projection->zones};
  if (!sink(header)) return false;
  Pool<MifWriter> pool;
  for (int kind = 0; kind < 3; ++kind) {
    if (kind > 0 && !sink("\r\n")) return false;
    if (!ExportKind(source, plans[kind], kind, threads, pool, sink, report, projection)) return false;
  }
  return true;
}

std::array<size_t, 3> CountGeometry(const ExportSource& source, int threads) {
  return CountExportElements(source.text, threads);
}
