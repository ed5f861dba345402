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

// The records of a piece, and what their projected vertices gave.
struct Piece {
  MifWriter records;
  size_t skipped = 0;
  RecordEmitter::Tally tally{};
};

// Appends the record of one coordinates text of `kind`. Projecting, a record not written
// counts none of its vertices, and one with a field that is no number is skipped.
void AppendRecord(int kind, std::string_view coordinates, RecordEmitter& emitter, bool projecting, Piece& piece) {
  auto append = [&] {
    return kind == 0 ? emitter.AppendPoint(coordinates, piece.records)
                     : emitter.AppendVertices(coordinates, kind == 1 ? kPlineParams : kRegionParams, piece.records);
  };
  if (!projecting) {
    append();
    return;
  }
  const RecordEmitter::Tally before = emitter.tally();
  if (append()) return;
  emitter.Restore(before);
  piece.skipped += emitter.invalid();
}

bool ExportKind(const ExportSource& source, const KindPlan& plan, int kind, int threads, Pool<MifWriter>& pool,
                const MifSink& sink, RecordProjection* projection) {
  std::string_view text = source.text;
  auto new_emitter = [&](std::string_view in) {
    RecordEmitter emitter(source.encoding, in);
    if (projection) emitter.Project(projection->grid, projection->half_width);
    return emitter;
  };
  auto consume = [&](Piece& piece) {
    if (projection) {
      projection->skipped_records += piece.skipped;
      projection->tally.Add(piece.tally);
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
          AppendRecord(kind, text.substr(span.begin, span.end - span.begin), emitter, projection != nullptr, piece);
        }
        piece.tally = emitter.tally();
        return piece;
      },
      [&](size_t, Piece& piece) { return consume(piece); });
  if (!ok || plan.joined_from_here.empty()) return ok;
  const std::string joined = JoinSpans(text, plan.joined_from_here);
  RecordEmitter emitter = new_emitter(joined);
  Piece piece;
  ForEachJoinedCoordinates(plan, joined, [&](std::string_view coordinates, size_t) {
    AppendRecord(kind, coordinates, emitter, projection != nullptr, piece);
  });
  piece.tally = emitter.tally();
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

bool ExportMif(const ExportSource& source, int threads, const MifSink& sink) {
  return ExportRecords(source, PlanExport(source.text, threads), MifHeader, threads, sink);
}

bool ExportRecords(const ExportSource& source, const std::array<KindPlan, 3>& plans, std::string_view header,
                   int threads, const MifSink& sink, RecordProjection* projection) {
  if (projection) *projection = {projection->grid, projection->half_width};
  if (!sink(header)) return false;
  Pool<MifWriter> pool;
  for (int kind = 0; kind < 3; ++kind) {
    if (kind > 0 && !sink("\r\n")) return false;
    if (!ExportKind(source, plans[kind], kind, threads, pool, sink, projection)) return false;
  }
  return true;
}

std::array<size_t, 3> CountGeometry(const ExportSource& source, int threads) {
  return CountExportElements(source.text, threads);
}
