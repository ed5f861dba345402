#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "document/text_io.h"
#include "mif/export_plan.h"
#include "mif/record_emitter.h"

// The export of a whole file, at the speed of memory: the file's bytes are searched as they
// are (mif/export_plan.h), only the fields that reach the MIF file are converted
// (mif/record_emitter.h), and a large file is scanned and its records built on several
// threads. The MIF text is byte for byte what BuildMifText gives for the document text that
// DecodeDocument makes of the same bytes.

// The text of a file as the export searches it.
struct ExportSource {
  std::string_view text;  // up to the first zero byte, without a UTF-8 byte-order mark
  Encoding encoding;      // kUtf8: fields are converted; kAnsi: fields are mended
};

// The source of a file's `bytes` read with `encoding`. Text that has to be decoded whole
// (UTF-16) is decoded into `decoded`, which the source then refers to. The first zero byte is
// looked for on up to `threads` threads.
ExportSource SourceOf(std::string_view bytes, Encoding encoding, std::string* decoded, int threads = 1);

// Hands the MIF text to `sink` in pieces, in order. `threads` is how many threads a large
// text may use. False when the sink returned false.
using MifSink = std::function<bool(std::string_view)>;
bool ExportMif(const ExportSource& source, int threads, const MifSink& sink);

// Projecting the records of an export: every vertex goes through `grid`, and a record with a
// field that is no number is skipped. What the records written gave is counted.
struct RecordProjection {
  const ProjectionGrid* grid = nullptr;
  double half_width = 0;
  size_t skipped_records = 0;
  RecordEmitter::Tally tally{};
};

// The records of the export plan `plans` (PlanExport) after `header`, to `sink`: ExportMif
// with another header, and with `projection` projected.
bool ExportRecords(const ExportSource& source, const std::array<KindPlan, 3>& plans, std::string_view header,
                   int threads, const MifSink& sink, RecordProjection* projection = nullptr);

// What lets an export whose header holds values known only at the end write its files in one
// pass: `overwrite_start` puts its bytes in place of as many at the start of the MIF file, and
// `restart` empties the MIF and MID files, to write them again. Each is false on failure.
struct SinkRewind {
  std::function<bool(std::string_view)> overwrite_start;
  std::function<bool()> restart;
};

// The number of Point, LineString and LinearRing elements, as the analyses count them.
std::array<size_t, 3> CountGeometry(const ExportSource& source, int threads);
