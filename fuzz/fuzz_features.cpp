// The conversion's options on any document: read in stretches on threads, it writes what one
// reading writes; the geometry plan made in the same pass is the export's; and with every
// option the MID file has one row of every column for each record of the MIF file, and the
// two make a table of as many rows.
#include <algorithm>
#include <cstdint>
#include <string>

#include "features/feature_export.h"
#include "features/placemark_stretches.h"
#include "fuzz/fuzz_check.h"
#include "mif/element_tags.h"
#include "mif/export_plan.h"
#include "tab/tab_table.h"

namespace {

// The objects of the MIF text, read as MIF readers read it: the vertex lines that a count
// announces are skipped (a coordinate is copied as text, so a vertex line may begin with an
// object's name), and a collection's parts are indented and not counted.
size_t CountRecords(std::string_view mif) {
  size_t records = 0, vertices = 0;
  for (size_t at = mif.find("\nData\r\n"); at != std::string_view::npos; at = mif.find('\n', at + 1)) {
    std::string_view line = mif.substr(at + 1, mif.find('\r', at + 1) - (at + 1));
    if (vertices > 0) {
      --vertices;
      continue;
    }
    for (std::string_view object : {"Point ", "Pline ", "Region ", "Multipoint ", "Collection ", "None"}) {
      records += line.substr(0, object.size()) == object;
    }
    // "Pline N" and "Multipoint N" announce N vertex lines, and so does a line of a count alone.
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    for (std::string_view head : {"Pline ", "Multipoint ", ""}) {
      if (line.substr(0, head.size()) != head) continue;
      std::string_view count = line.substr(head.size());
      if (!count.empty() && count.find_first_not_of("0123456789") == std::string_view::npos) {
        vertices = std::stoul(std::string(count));
      }
    }
  }
  return records;
}

// The MID rows: each has `columns` values, quoted with inner quotes doubled, or (typed) a
// number, T, F or nothing.
size_t CountRows(std::string_view mid, size_t columns) {
  size_t rows = 0;
  while (!mid.empty()) {
    size_t values = 0;
    size_t at = 0;
    for (;;) {
      if (at < mid.size() && mid[at] != '"') {
        while (at < mid.size() && mid[at] != ',' && mid[at] != '\r') {
          FUZZ_CHECK(std::string_view("0123456789+-.eETF").find(mid[at]) != std::string_view::npos);
          ++at;
        }
        ++values;
        if (mid.substr(at, 2) == "\r\n") break;
        FUZZ_CHECK(at < mid.size() && mid[at] == ',');
        ++at;
        continue;
      }
      FUZZ_CHECK(at < mid.size() && mid[at] == '"');
      for (++at;; ++at) {
        FUZZ_CHECK(at < mid.size() && mid[at] != '\r' && mid[at] != '\n');
        if (mid[at] != '"') continue;
        if (at + 1 < mid.size() && mid[at + 1] == '"') {
          ++at;  // a quote doubled
          continue;
        }
        break;
      }
      ++at;
      ++values;
      if (mid.substr(at, 2) == "\r\n") break;
      FUZZ_CHECK(at < mid.size() && mid[at] == ',');
      ++at;
    }
    FUZZ_CHECK(values == columns);
    mid.remove_prefix(at + 2);
    ++rows;
  }
  return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t block = 1 + data[0] % 64;
  ExportPlanner planner(bytes);
  const std::vector<std::string_view> names{"Polygon", "Track"};
  NamedTagScan scan(names);
  KmlFeatures document(bytes, Encoding::kAnsi);
  StretchReading how;
  how.planner = &planner;
  how.element_names = names;
  PlacemarkStretches stretches(bytes, Encoding::kAnsi, how, document);
  stretches.Read(2, block, [&](std::unique_ptr<PlacemarkStretch> stretch) {
    scan.Append(*stretch->element_tags);
    stretches.Recycle(std::move(stretch));
  });
  // The elements found in the same pass are those of their own search.
  const std::vector<std::vector<ElementMatch>> searched = FindElementsOfEach(bytes, names, 1);
  const std::vector<std::vector<ElementMatch>> found = scan.Elements(bytes);
  for (size_t n = 0; n < names.size(); ++n) {
    FUZZ_CHECK(searched[n].size() == found[n].size());
    for (size_t i = 0; i < found[n].size(); ++i) FUZZ_CHECK(searched[n][i].whole.data() == found[n][i].whole.data());
  }
  // The plan made in the same pass is the export's own.
  std::array<KindPlan, 3> plans = PlanExport(bytes, 1);
  for (size_t kind = 0; kind < 3; ++kind) {
    const KindPlan& a = plans[kind];
    const KindPlan& b = planner.plans()[kind];
    FUZZ_CHECK(a.elements == b.elements && a.coordinates.size() == b.coordinates.size());
    FUZZ_CHECK(a.joined_from_here.size() == b.joined_from_here.size());
    for (size_t i = 0; i < a.coordinates.size(); ++i) {
      FUZZ_CHECK(a.coordinates[i].begin == b.coordinates[i].begin && a.coordinates[i].end == b.coordinates[i].end);
    }
    for (size_t i = 0; i < a.joined_from_here.size(); ++i) {
      FUZZ_CHECK(a.joined_from_here[i].begin == b.joined_from_here[i].begin);
      FUZZ_CHECK(a.joined_from_here[i].end == b.joined_from_here[i].end);
    }
  }

  std::string decoded;
  const ExportSource source = SourceOf(bytes, Encoding::kUtf8, &decoded);
  ConvertedText converted = ConvertInMemory(source, ConversionOptions::All());
  // Read in stretches on two threads, the same.
  std::string mif_in_stretches, mid_in_stretches;
  ConversionReport report;
  ExportWithOptions(
      source, ConversionOptions::All(), 2, [&](std::string_view piece) { return mif_in_stretches.append(piece), true; },
      [&](std::string_view piece) { return mid_in_stretches.append(piece), true; }, &report, nullptr, block);
  FUZZ_CHECK(mif_in_stretches == converted.mif && mid_in_stretches == converted.mid);
  const std::string& mif = converted.mif;
  const std::string& mid = converted.mid;
  size_t columns_at = mif.find("Columns ");
  FUZZ_CHECK(columns_at != std::string::npos);
  const size_t columns = std::stoul(mif.substr(columns_at + 8));
  FUZZ_CHECK(columns >= 3 && columns <= 250);
  const size_t records = CountRecords(mif);
  FUZZ_CHECK(CountRows(mid, columns) == records);
  // What the export writes, the table reads back whole (only a vertex beyond every grid, as
  // 1e300 is, makes no table).
  TabFiles table;
  TabReport table_report;
  const std::string_view mid_text = mid;
  const bool tabled = TabTableInMemory(mif, &mid_text, 2, &table, &table_report);
  FUZZ_CHECK(tabled || table_report.error == "the vertices lie beyond every grid");
  FUZZ_CHECK(!tabled || table_report.rows == records);
  return 0;
}
