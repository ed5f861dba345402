#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "document/text_io.h"
#include "mif/export_plan.h"
#include "mif/mif_version.h"
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

// What the records of an export left out, what they need of the MIF version, and how many
// objects the MIF file holds (rows of no object among them).
struct RecordReport {
  LeftOut left_out;
  VersionNeeds version;
  size_t objects = 0;
  void Add(const RecordReport& other) {
    left_out.Add(other.left_out);
    version.Add(other.version);
    objects += other.objects;
  }
};

// Hands the MIF text to `sink` in pieces, in order. `threads` is how many threads a large
// text may use. False when the sink returned false. The header's version is the least that
// holds every record; `report`, when given, tells what was left out.
using MifSink = std::function<bool(std::string_view)>;
bool ExportMif(const ExportSource& source, int threads, const MifSink& sink, RecordReport* report = nullptr);

// What the records of the export plan `plans` need of the version, found before they are
// written: only records long enough to need more than version 300 are counted.
VersionNeeds MeasureRecords(const ExportSource& source, const std::array<KindPlan, 3>& plans);

// Projecting the records of an export: every vertex goes through `grid`, and those that have
// no place in it are left out. What the records written gave is counted, and with `zones`
// (3 or 6) the vertices of each zone of that width.
struct RecordProjection {
  const ProjectionGrid* grid = nullptr;
  double half_width = 0;
  int zones = 0;
  RecordEmitter::Tally tally{};
  RecordEmitter::ZoneCounts zone_counts{};
};

// The records of the export plan `plans` (PlanExport) after `header`, to `sink`: ExportMif
// with another header, and with `projection` projected. `report` gets what the records
// written left out and need.
bool ExportRecords(const ExportSource& source, const std::array<KindPlan, 3>& plans, std::string_view header,
                   int threads, const MifSink& sink, RecordReport* report, RecordProjection* projection = nullptr);

// What lets an export whose header holds values known only at the end write its files in one
// pass: `overwrite_start` puts its bytes in place of as many at the start of the MIF file, and
// `restart` empties the MIF and MID files, to write them again. Each is false on failure.
struct SinkRewind {
  std::function<bool(std::string_view)> overwrite_start;
  std::function<bool()> restart;
};

// The number of Point, LineString and LinearRing elements, as the analyses count them.
std::array<size_t, 3> CountGeometry(const ExportSource& source, int threads);
