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
  // Projected (--crs gk3, gk6): the zone, the objects skipped for a coordinate that is no
  // number, and the vertices beyond the zone's width from its central meridian.
  int zone = 0;
  size_t skipped_objects = 0;
  size_t far_vertices = 0;
};

// The MIF text of `source` with `options`, to `mif` in pieces; with attributes, the MID text
// to `mid`, one line per MIF object in the MIF's order: the row of the placemark that holds
// the object's geometry, or empty values for an object outside any placemark. Without
// options this is ExportMif. False when a sink returned false. A projected export writes its
// files once when given `rewind`, and otherwise reads the data twice.
bool ExportWithOptions(const ExportSource& source, const ConversionOptions& options, int threads,
                       const MifSink& mif, const MifSink& mid, ConversionReport* report,
                       const SinkRewind* rewind = nullptr);

// The whole conversion kept in memory, on one thread: for the window, whose documents are
// held in memory anyway.
struct ConvertedText {
  std::string mif, mid;
  ConversionReport report;
};
ConvertedText ConvertInMemory(const ExportSource& source, const ConversionOptions& options);
