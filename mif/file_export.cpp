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

// Appends the record of one coordinates text of `kind`.
void AppendRecord(int kind, std::string_view coordinates, RecordEmitter& emitter, MifWriter& out) {
  if (kind == 0) {
    emitter.AppendPoint(coordinates, out);
  } else {
    emitter.AppendVertices(coordinates, kind == 1 ? kPlineParams : kRegionParams, out);
  }
}

bool ExportKind(const ExportSource& source, const KindPlan& plan, int kind, int threads, Pool<MifWriter>& pool,
                const MifSink& sink) {
  std::string_view text = source.text;
  std::vector<size_t> bounds = PieceBounds(plan.coordinates.size(), kRecordChunk, [&](size_t i) {
    return plan.coordinates[i].end - plan.coordinates[i].begin;
  });
  bool ok = OrderedParallel<MifWriter>(
      bounds.size() - 1, ThreadsFor(text.size(), threads), static_cast<size_t>(3 * threads),
      [&](size_t c) {
        RecordEmitter emitter(source.encoding, text);
        MifWriter out = pool.Take();
        // Records are shorter than their coordinates texts, but for those of a few tuples.
        size_t bound = 0;
        for (size_t i = bounds[c]; i < bounds[c + 1]; ++i) {
          bound += plan.coordinates[i].end - plan.coordinates[i].begin + 64;
        }
        out.Reserve(bound);
        for (size_t i = bounds[c]; i < bounds[c + 1]; ++i) {
          const TextSpan& span = plan.coordinates[i];
          AppendRecord(kind, text.substr(span.begin, span.end - span.begin), emitter, out);
        }
        return out;
      },
      [&](size_t, MifWriter& records) {
        const bool written = records.text().empty() || sink(records.text());
        records.Clear();
        pool.Give(records);
        return written;
      });
  if (!ok || plan.joined_from_here.empty()) return ok;
  MifWriter out;
  const std::string joined = JoinSpans(text, plan.joined_from_here);
  RecordEmitter emitter(source.encoding, joined);
  ForEachJoinedCoordinates(plan, joined, [&](std::string_view coordinates, size_t) {
    AppendRecord(kind, coordinates, emitter, out);
  });
  return out.text().empty() || sink(out.text());
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
  std::array<KindPlan, 3> plans = PlanExport(source.text, threads);
  if (!sink(MifHeader)) return false;
  Pool<MifWriter> pool;
  for (int kind = 0; kind < 3; ++kind) {
    if (kind > 0 && !sink("\r\n")) return false;
    if (!ExportKind(source, plans[kind], kind, threads, pool, sink)) return false;
  }
  return true;
}

std::array<size_t, 3> CountGeometry(const ExportSource& source, int threads) {
  return CountExportElements(source.text, threads);
}
