#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "features/conversion_options.h"
#include "features/kml_features.h"
#include "features/part_index.h"
#include "features/scope_reader.h"
#include "features/table_layout.h"
#include "mif/file_export.h"

// The first reading of a conversion with options: what the MIF header and the MID rows need
// before a byte is written, and where the parts of the objects lie. Of the placemarks it keeps
// nothing but the index of their parts, and what their rows tell the columns; the second
// reading reads them again (PlacemarkRereader).
struct DocumentSurvey {
  // The folders, shared styles and schemas, and the ExtendedData names in order of first
  // appearance (the document's fields).
  std::unique_ptr<KmlFeatures> document;
  RowCounts rows;
  PartIndex parts;
  // A placemark inside another, or one that holds another (invalid KML, but seen), reads
  // otherwise alone than in its document: its values are kept here as its reading found them,
  // with the document's fields, by where its opening tag begins.
  std::unique_ptr<KmlFeatures> nested;
  std::unordered_map<uint64_t, uint32_t> nested_at;
};

// What the readings of the placemarks keep for `options`, and what their table holds.
FeatureReading ReadingFor(const ConversionOptions& options);
TableOptions TableOptionsFor(const ConversionOptions& options);

// Reads `source` once, in stretches of about `block` bytes on up to `threads` threads: the
// placemarks when the options need them (rows, styles, --multi), the parts the options make
// objects of (points, lines, rings; polygons and tracks with --polygons, --tracks), and which
// placemark each part belongs to.
DocumentSurvey SurveyDocument(const ExportSource& source, const ConversionOptions& options, int threads,
                              size_t block);

// The placemarks of a survey's index read again, one at a time, as the survey read them.
class PlacemarkRereader {
 public:
  PlacemarkRereader(const ExportSource& source, const DocumentSurvey& survey, FeatureReading reading);

  struct Read {
    const KmlFeatures* reading;
    const Placemark* placemark;
    const std::vector<int>* field_of;  // the document's field of each field of the reading; null: the same
  };
  // The placemark whose opening tag begins at `begin`. Valid until the next call.
  Read At(uint64_t begin);

 private:
  std::string_view text_;
  const DocumentSurvey& survey_;
  std::unordered_map<std::string, int> document_field_;
  KmlFeatures reading_;
  kml_reading::ScopeReader reader_;
  std::vector<int> field_of_;
};
