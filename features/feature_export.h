#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "features/conversion_options.h"
#include "mif/file_export.h"

struct ConversionReport {
  size_t dropped_columns = 0;  // ExtendedData names beyond the 250 columns a MIF file may have
  size_t cut_values = 0;       // values longer than 254 bytes, cut
  struct Invalid {
    std::string column;
    const char* type;  // "Integer", "Float", "Logical"
    size_t count;
  };
  std::vector<Invalid> invalid_values;  // of typed columns: no number of the type, left empty
  // Characters of the values written that GBK lacks (or bytes of no character of the file's
  // encoding), written as "?".
  size_t unrepresented = 0;
  // Placemarks whose description gave a field that their ExtendedData also gave, whose value
  // was kept (--description-fields).
  size_t described_twice = 0;
  // Objects whose altitudes were left empty: a third coordinate is no number (--altitude).
  size_t no_altitude = 0;
  // Column names that MapInfo keeps for itself, and what they were written as (GBK).
  std::vector<std::pair<std::string, std::string>> renamed_columns;
  // What the objects left out (the first tuple with a field that is no number in GBK, as
  // the file writes it), and the version they need.
  RecordReport records;
  // Projected (--crs gk3, gk6): the zone, whether it is none of the item's zones (then nothing
  // is written), and the vertices beyond the zone's width from its central meridian.
  int zone = 0;
  bool zone_refused = false;
  size_t far_vertices = 0;
  // The placemarks' values could not be read back from the temporary file they waited in:
  // what was written is incomplete, and must not be kept.
  bool records_unread = false;
};

// The MIF text of `source` with `options`, to `mif` in pieces; with attributes, the MID text
// to `mid`, one line per MIF object in the MIF's order: the row of the placemark that holds
// the object's geometry, or empty values for an object outside any placemark. Without
// options it writes what ExportMif writes. False when a sink returned false, or when projected data lie in
// no zone of the coordinate system (report->zone_refused). A projected export writes its
// files once when given `rewind`, and otherwise reads the data twice. The placemarks are read
// in stretches of about `block` bytes (the result is the same for every size).
constexpr size_t kPlacemarkBlock = size_t{4} << 20;
bool ExportWithOptions(const ExportSource& source, const ConversionOptions& options, int threads,
                       const MifSink& mif, const MifSink& mid, ConversionReport* report,
                       const SinkRewind* rewind = nullptr, size_t block = kPlacemarkBlock);

// Several documents into one MIF file (--merge): the objects of each input in turn, each row
// with a first column Source, the input's `name` (GBK); the columns those of all the inputs by
// name. Without options of columns, the MID file holds Source alone. A projected export's
// zone, chosen from the data, is that of most of the vertices of all.
struct ExportInput {
  ExportSource source;
  std::string name;
};
bool ExportMerged(const std::vector<ExportInput>& inputs, const ConversionOptions& options, int threads,
                  const MifSink& mif, const MifSink& mid, ConversionReport* report,
                  const SinkRewind* rewind = nullptr, size_t block = kPlacemarkBlock);

// 1234567 as "1,234,567", for the messages about a report.
std::string GroupedDigits(size_t n);

// The whole conversion kept in memory, on one thread: for the window, whose documents are
// held in memory anyway.
struct ConvertedText {
  std::string mif, mid;
  ConversionReport report;
};
ConvertedText ConvertInMemory(const ExportSource& source, const ConversionOptions& options);
