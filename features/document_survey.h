#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "features/conversion_options.h"
#include "features/kml_features.h"
#include "features/part_index.h"
#include "features/row_spool.h"
#include "features/table_layout.h"
#include "mif/file_export.h"

// The first reading of a conversion with options: what the MIF header and the MID rows need
// before a byte is written, and where the parts of the objects lie. Of the placemarks it keeps
// in memory nothing but the index of their parts, and what their rows tell the columns; their
// values and styles, as the writing takes them, go to a spool.
struct DocumentSurvey {
  // The folders, shared styles and schemas, and the ExtendedData names in order of first
  // appearance (the document's fields).
  std::unique_ptr<KmlFeatures> document;
  RowCounts rows;
  PartIndex parts;
  // The values and styles of the placemarks that give objects, when the options take them.
  std::unique_ptr<RowSpool> spool;
};

// What the table of `options` holds.
TableOptions TableOptionsFor(const ConversionOptions& options);

// Reads `source` once, in stretches of about `block` bytes on up to `threads` threads: the
// placemarks when the options need them (rows, styles, --multi), the parts the options make
// objects of (points, lines, rings; polygons and tracks with --polygons, --tracks), and which
// placemark each part belongs to.
DocumentSurvey SurveyDocument(const ExportSource& source, const ConversionOptions& options, int threads,
                              size_t block);
