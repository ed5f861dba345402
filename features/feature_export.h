#pragma once

#include <cstddef>
#include <string>

#include "mif/file_export.h"

// The conversion beyond the geometry: what the options of `geovant convert` add.
struct ConversionOptions {
  bool attributes = false;  // --attributes: a MID file of the placemarks' names, descriptions,
                            // folders and ExtendedData
  bool styles = false;      // --styles: each record with its placemark's KML style
  bool polygons = false;    // --polygons: one Region per Polygon, its holes included
  bool tracks = false;      // --tracks: one Pline per gx:Track, of its gx:coord
  bool Any() const { return attributes || styles || polygons || tracks; }
};

struct ConversionReport {
  size_t dropped_columns = 0;  // ExtendedData names beyond the 250 columns a MIF file may have
  size_t cut_values = 0;       // values longer than 254 bytes, cut
};

// The MIF text of `source` with `options`, to `mif` in pieces; with attributes, the MID text
// to `mid`, one line per MIF object in the MIF's order: the row of the placemark that holds
// the object's geometry, or empty values for an object outside any placemark. Without
// options this is ExportMif. False when a sink returned false.
bool ExportWithOptions(const ExportSource& source, const ConversionOptions& options, int threads,
                       const MifSink& mif, const MifSink& mid, ConversionReport* report);

// The whole conversion kept in memory, on one thread: for the window, whose documents are
// held in memory anyway.
struct ConvertedText {
  std::string mif, mid;
  ConversionReport report;
};
ConvertedText ConvertInMemory(const ExportSource& source, const ConversionOptions& options);
