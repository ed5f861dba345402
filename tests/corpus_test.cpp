// Every real KML file converts, with every option, and GDAL reads back exactly what was written.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <set>
#include <sstream>

#include "document/encoding.h"
#include "document/text_io.h"
#include "features/feature_export.h"
#include "mif/mif_export.h"
#include "tests/test_support.h"

namespace {

// What a reader sees of each record of the MIF text, in order: "P" for a point, "L<n>" for a
// polyline of n vertices, "R<k>:<n>" for a region of k rings and n vertices in all (a reader
// closes a ring whose last vertex is not its first).
std::vector<std::string> ExpectedRecords(const std::string& mif) {
  std::vector<std::string> records;
  std::istringstream lines(mif);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("Point ", 0) == 0) records.push_back("P");
    if (line.rfind("Pline ", 0) == 0) records.push_back("L" + std::to_string(std::stoi(line.substr(6))));
    if (line.rfind("Region ", 0) == 0) {
      int rings = std::stoi(line.substr(7)), vertices = 0;
      for (int r = 0; r < rings; ++r) {
        std::getline(lines, line);
        int count = std::stoi(line);
        std::string first, last;
        for (int i = 0; i < count; ++i) {
          std::getline(lines, last);
          if (i == 0) first = last;
        }
        vertices += count + (first != last);
      }
      records.push_back("R" + std::to_string(rings) + ":" + std::to_string(vertices));
    }
  }
  return records;
}

std::string Run(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buffer[65536];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
  pclose(pipe);
  return out;
}

struct ReadFeature {
  std::string geometry;  // as ExpectedRecords writes it; empty for none
  std::string name;      // the Name field, converted to GBK
  std::string style;
};

// The features that ogrinfo reads from `path`, in order.
std::vector<ReadFeature> ReadBack(const std::string& path) {
  std::string out = Run("ogrinfo -ro -al -q '" + path + "' 2>&1");
  std::vector<ReadFeature> features;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("OGRFeature(", 0) == 0) features.emplace_back();
    if (line.find("ERROR") != std::string::npos) features.push_back({"ERROR " + line, "", ""});
    if (features.empty()) continue;
    auto commas = [&] { return std::to_string(std::count(line.begin(), line.end(), ',') + 1); };
    if (line.rfind("  POINT (", 0) == 0) features.back().geometry = "P";
    if (line.rfind("  LINESTRING (", 0) == 0) features.back().geometry = "L" + commas();
    // A region whose rings do not lie inside its first one (degenerate data) is a multipolygon.
    if (line.rfind("  POLYGON ((", 0) == 0 || line.rfind("  MULTIPOLYGON (((", 0) == 0) {
      size_t rings = 0;
      for (size_t at = 1; at < line.size(); ++at) rings += line[at] == ')' && line[at - 1] != ')';
      features.back().geometry = "R" + std::to_string(rings) + ":" + commas();
    }
    if (line.rfind("  Name (String) = ", 0) == 0) features.back().name = Utf8ToAnsi(line.substr(18));
    if (line.rfind("  Style = ", 0) == 0) features.back().style = line.substr(10);
  }
  return features;
}

std::vector<std::string> Geometries(const std::vector<ReadFeature>& features) {
  std::vector<std::string> geometries;
  for (const ReadFeature& f : features) geometries.push_back(f.geometry);
  return geometries;
}

std::string Convert(const std::string& kml, const ConversionOptions& options, std::string* mid) {
  std::string decoded, mif;
  ConversionReport report;
  ExportWithOptions(
      SourceOf(kml, Encoding::kUtf8, &decoded), options, 1,
      [&](std::string_view piece) {
        mif.append(piece);
        return true;
      },
      [&](std::string_view piece) {
        mid->append(piece);
        return true;
      },
      &report);
  return mif;
}

}  // namespace

TEST(Corpus, GdalReadsBackEveryRecordWrittenWithEveryOption) {
  ASSERT_EQ(std::system("ogrinfo --version > /dev/null 2>&1"), 0) << "ogrinfo (gdal-bin) is needed";
  // --all holds --styles, --polygons and --tracks; the names are checked with --attributes.
  const std::pair<const char*, ConversionOptions> runs[] = {
      {"", {}}, {"attributes", {true, false, false, false}}, {"all", {true, true, true, true}}};
  ScopedTempDir dir;
  int files = 0, records = 0, holes = 0, tracks = 0;
  for (const auto& kml : CorpusFiles()) {
    const std::string bytes = ReadFileBytes(kml);
    for (const auto& [name, options] : runs) {
      SCOPED_TRACE(kml.filename().string() + " " + name);
      std::string mid;
      std::string mif = Convert(bytes, options, &mid);
      std::filesystem::path out = dir / (kml.stem().string() + name + ".mif");
      WriteFileBytes(out, mif);
      if (options.attributes) WriteFileBytes(dir / (kml.stem().string() + name + ".mid"), mid);
      std::vector<std::string> written = ExpectedRecords(mif);
      std::vector<ReadFeature> read = ReadBack(out.string());
      EXPECT_EQ(Geometries(read), written);
      if (!options.Any()) records += static_cast<int>(written.size());
      if (options.polygons) holes += static_cast<int>(std::count_if(written.begin(), written.end(), [](const std::string& r) { return r.rfind("R1:", 0) != 0 && r[0] == 'R'; }));
      if (options.tracks) tracks += static_cast<int>(std::count_if(written.begin(), written.end(), [](const std::string& r) { return r[0] == 'L'; }));
      if (options.polygons || !options.attributes) continue;
      // The names of the placemarks with geometry, as GDAL's own KML reader finds them, where
      // it reads the file.
      std::set<std::string> ours, gdals;
      for (const ReadFeature& f : read) ours.insert(f.name);
      std::vector<ReadFeature> from_kml = ReadBack(kml.string());
      if (!from_kml.empty() && from_kml.back().geometry.rfind("ERROR", 0) != 0) {
        for (const ReadFeature& f : from_kml) {
          if (!f.geometry.empty() && !f.name.empty()) gdals.insert(f.name);
        }
        for (const std::string& n : gdals) EXPECT_TRUE(ours.count(n)) << n;
      }
    }
    ++files;
  }
  EXPECT_EQ(files, 48);
  EXPECT_GT(records, 1500);
  EXPECT_GT(holes, 5);
  EXPECT_GT(tracks, 1500);
}

TEST(Corpus, StylesReadBackWithTheKmlColours) {
  // geovant_styles.kml, colours as KML writes them (aabbggrr) and as GDAL reports them (#rrggbb).
  std::string mid;
  std::string mif = Convert(ReadFileBytes(std::filesystem::path(GEOVANT_CORPUS_DIR) / "geovant_styles.kml"),
                            {false, true, false, false}, &mid);
  ScopedTempDir dir;
  WriteFileBytes(dir / "styles.mif", mif);
  std::vector<std::string> styles;
  for (const ReadFeature& f : ReadBack((dir / "styles.mif").string())) styles.push_back(f.style);
  EXPECT_EQ(styles, (std::vector<std::string>{
      // IconStyle ff0000ff, scale 1.5
      "SYMBOL(a:0,c:#ff0000,s:18pt,id:\"mapinfo-sym-35,ogr-sym-9\")",
      // LineStyle ff000000, width 12: black, not blue, and held to 7
      "PEN(w:7px,c:#000000,id:\"mapinfo-pen-2,ogr-pen-0\",cap:r,j:r)",
      // StyleMap: the normal pair's LineStyle ffff0000, PolyStyle 80ffff00
      "BRUSH(fc:#00ffff,id:\"mapinfo-brush-2,ogr-brush-0\");PEN(w:3px,c:#0000ff,id:\"mapinfo-pen-2,ogr-pen-0\",cap:r,j:r)",
      // an inline LineStyle 7f00ff00, width 2.6, and <fill>0</fill>
      "BRUSH(fc:#000000,id:\"mapinfo-brush-1,ogr-brush-1\");PEN(w:3px,c:#00ff00,id:\"mapinfo-pen-2,ogr-pen-0\",cap:r,j:r)",
      // LineStyle alpha 00, PolyStyle ff123456 with <outline>0</outline>
      "BRUSH(fc:#563412,id:\"mapinfo-brush-2,ogr-brush-0\");PEN(w:3px,c:#ffffff,id:\"mapinfo-pen-1,ogr-pen-1\",cap:r,j:r)"}));
}

TEST(Corpus, ExportIsTheSameTwiceAndInAnyOrderOfAnalyses) {
  for (const auto& kml : CorpusFiles()) {
    DocumentText doc = MakeDocument(DecodeDocument(ReadFileBytes(kml), Encoding::kUtf8));
    GeometryState fresh, used;
    std::string first = BuildMifText(fresh, doc);
    ElementSearch(used, GeometryKind::kPolygon, doc);
    ElementSearch(used, GeometryKind::kPoint, doc);
    EXPECT_EQ(BuildMifText(used, doc), first) << kml;
    EXPECT_EQ(BuildMifText(used, doc), first) << kml;
  }
}
