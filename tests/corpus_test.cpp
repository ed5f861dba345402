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

// What a reader sees of each object of the MIF text, in order: "P" for a point, "MP<n>" for n
// points, "L<n>" for a polyline of n vertices, "ML<k>:<n>" for k polylines of n vertices in all,
// "R<k>:<n>" for a region of k rings and n vertices in all (a reader closes a ring whose last
// vertex is not its first), "C(...)" for a collection of these, "N" for none.
class MifObjects {
 public:
  explicit MifObjects(const std::string& mif) : lines_(mif) {}

  std::vector<std::string> All() {
    std::vector<std::string> objects;
    std::string line;
    while (std::getline(lines_, line)) {
      std::string object = Object(Trimmed(line));
      if (!object.empty()) objects.push_back(object);
    }
    return objects;
  }

 private:
  static std::string Trimmed(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line.substr(line.find_first_not_of(' ') == std::string::npos ? line.size() : line.find_first_not_of(' '));
  }
  int Count() {
    std::string line;
    std::getline(lines_, line);
    return std::stoi(line);
  }
  void Skip(int n) {
    std::string line;
    for (int i = 0; i < n; ++i) std::getline(lines_, line);
  }
  // The vertices of a ring, counted as a reader closes it.
  int Ring() {
    int count = Count();
    std::string first, last;
    for (int i = 0; i < count; ++i) {
      std::getline(lines_, last);
      if (i == 0) first = last;
    }
    return count + (first != last);
  }
  std::string Object(const std::string& line) {
    if (line.rfind("Point ", 0) == 0) return "P";
    if (line == "None") return "N";
    if (line.rfind("Multipoint ", 0) == 0) {
      int n = std::stoi(line.substr(11));
      Skip(n);
      return "MP" + std::to_string(n);
    }
    if (line.rfind("Pline Multiple ", 0) == 0) {
      int sections = std::stoi(line.substr(15)), vertices = 0;
      for (int i = 0; i < sections; ++i) {
        int n = Count();
        Skip(n);
        vertices += n;
      }
      return "ML" + std::to_string(sections) + ":" + std::to_string(vertices);
    }
    if (line.rfind("Pline ", 0) == 0) {
      int n = std::stoi(line.substr(6));
      Skip(n);
      return "L" + std::to_string(n);
    }
    if (line.rfind("Region ", 0) == 0) {
      int rings = std::stoi(line.substr(7)), vertices = 0;
      for (int r = 0; r < rings; ++r) vertices += Ring();
      return "R" + std::to_string(rings) + ":" + std::to_string(vertices);
    }
    if (line.rfind("Collection ", 0) == 0) {
      int parts = std::stoi(line.substr(11));
      std::string collection = "C(";
      for (int found = 0; found < parts;) {
        std::string part;
        std::getline(lines_, part);
        std::string object = Object(Trimmed(part));
        if (object.empty()) continue;
        collection += (found++ ? "," : "") + object;
      }
      return collection + ")";
    }
    return "";
  }

  std::istringstream lines_;
};

std::vector<std::string> ExpectedRecords(const std::string& mif) { return MifObjects(mif).All(); }

// The same of a geometry as ogrinfo prints it (WKT).
class WktObject {
 public:
  explicit WktObject(std::string_view wkt) : wkt_(wkt) {}
  // Empty for a geometry of three or four dimensions (KML's own), or an empty one.
  std::string Read() {
    std::string type;
    while (at_ < wkt_.size() && wkt_[at_] >= 'A' && wkt_[at_] <= 'Z') type += wkt_[at_++];
    Expect(' ');
    if (at_ < wkt_.size() && wkt_[at_] != '(') return "";
    if (type == "POINT") return Points(), "P";
    if (type == "LINESTRING") return "L" + std::to_string(Points());
    if (type == "MULTIPOINT") return "MP" + std::to_string(List([&] { return Points(); }).second);
    if (type == "MULTILINESTRING") {
      auto [lines, vertices] = List([&] { return Points(); });
      return "ML" + std::to_string(lines) + ":" + std::to_string(vertices);
    }
    if (type == "POLYGON" || type == "MULTIPOLYGON") {
      // A region whose rings do not lie inside its first one (degenerate data) is a multipolygon.
      auto ring_list = [&] { return List([&] { return Points(); }); };
      std::pair<int, int> total{0, 0};
      if (type == "POLYGON") {
        total = ring_list();
      } else {
        List([&] {
          auto [rings, vertices] = ring_list();
          total.first += rings;
          total.second += vertices;
          return 0;
        });
      }
      return "R" + std::to_string(total.first) + ":" + std::to_string(total.second);
    }
    if (type == "GEOMETRYCOLLECTION") {
      std::string collection = "C(";
      Expect('(');
      for (bool first = true; at_ < wkt_.size() && wkt_[at_] != ')'; first = false) {
        const size_t before = at_;
        if (!first) Expect(',');
        collection += (first ? "" : ",") + Read();
        if (at_ == before) break;
      }
      Expect(')');
      return collection + ")";
    }
    return "?" + type;
  }

 private:
  void Expect(char c) {
    if (at_ < wkt_.size() && wkt_[at_] == c) ++at_;
  }
  // "(x y,x y)" or "(x y)": the number of vertices.
  int Points() {
    Expect('(');
    int n = 1;
    for (; at_ < wkt_.size() && wkt_[at_] != ')'; ++at_) n += wkt_[at_] == ',';
    Expect(')');
    return n;
  }
  // "(item,item)": how many items, and what they count in all.
  template <typename Item>
  std::pair<int, int> List(Item item) {
    Expect('(');
    int items = 0, total = 0;
    while (at_ < wkt_.size() && wkt_[at_] != ')') {
      const size_t before = at_;
      if (items) Expect(',');
      total += item();
      ++items;
      if (at_ == before) break;
    }
    Expect(')');
    return {items, total};
  }

  std::string_view wkt_;
  size_t at_ = 0;
};

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
  std::string out = ::Run("ogrinfo -ro -al -q '" + path + "' 2>&1");
  std::vector<ReadFeature> features;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("OGRFeature(", 0) == 0) features.emplace_back();
    if (line.find("ERROR") != std::string::npos) features.push_back({"ERROR " + line, "", ""});
    if (features.empty()) continue;
    if (line.size() > 2 && line[0] == ' ' && line[1] == ' ' && line[2] >= 'A' && line[2] <= 'Z' &&
        line.find(" (") != std::string::npos && line.find(" = ") == std::string::npos) {
      features.back().geometry = WktObject(std::string_view(line).substr(2)).Read();
    }
    if (line.rfind("  Name (String) = ", 0) == 0) features.back().name = Utf8ToAnsi(line.substr(18));
    if (line.rfind("  Style = ", 0) == 0) features.back().style = line.substr(10);
  }
  return features;
}

std::vector<std::string> Geometries(const std::vector<ReadFeature>& features) {
  std::vector<std::string> geometries;
  for (const ReadFeature& f : features) geometries.push_back(f.geometry.empty() ? "N" : f.geometry);
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
  // --all holds every option; the names are checked with --attributes, one object per
  // placemark with --multi alone.
  ConversionOptions multi;
  multi.multi = true;
  const std::pair<const char*, ConversionOptions> runs[] = {
      {"", {}}, {"attributes", {true, false, false, false}}, {"multi", multi}, {"all", ConversionOptions::All()}};
  ScopedTempDir dir;
  int files = 0, records = 0, holes = 0, tracks = 0, collections = 0;
  for (const auto& kml : CorpusFiles()) {
    const std::string bytes = ReadFileBytes(kml);
    for (const auto& [name, options] : runs) {
      SCOPED_TRACE(kml.filename().string() + " " + name);
      std::string mid;
      std::string mif = Convert(bytes, options, &mid);
      std::filesystem::path out = dir / (kml.stem().string() + name + ".mif");
      WriteFileBytes(out, mif);
      if (options.Table()) WriteFileBytes(dir / (kml.stem().string() + name + ".mid"), mid);
      std::vector<std::string> written = ExpectedRecords(mif);
      std::vector<ReadFeature> read = ReadBack(out.string());
      EXPECT_EQ(Geometries(read), written);
      if (!options.Any()) records += static_cast<int>(written.size());
      if (options.polygons) holes += static_cast<int>(std::count_if(written.begin(), written.end(), [](const std::string& r) { return r.rfind("R1:", 0) != 0 && r[0] == 'R'; }));
      if (options.tracks) tracks += static_cast<int>(std::count_if(written.begin(), written.end(), [](const std::string& r) { return r[0] == 'L'; }));
      if (options.multi) collections += static_cast<int>(std::count_if(written.begin(), written.end(), [](const std::string& r) { return r[0] == 'C' || r[0] == 'M'; }));
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
  EXPECT_GT(collections, 10);
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

TEST(Corpus, TypedColumnsReadBackAsNumbers) {
  ConversionOptions typed;
  typed.typed = true;
  ScopedTempDir dir;
  std::string mid;
  WriteFileBytes(dir / "trails.mif",
                 Convert(ReadFileBytes(std::filesystem::path(GEOVANT_CORPUS_DIR) / "togeojson_simpledata.kml"), typed, &mid));
  WriteFileBytes(dir / "trails.mid", mid);
  std::string out = ::Run("ogrinfo -ro -al -q '" + (dir / "trails.mif").string() + "'");
  for (const char* value : {"TrailLength (Real) = 3.14159", "ElevationGain (Integer) = 10",
                            "TrailLength (Real) = 347.45", "ElevationGain (Integer) = 10000",
                            "TrailHeadName (String) = Mount Everest"}) {
    EXPECT_NE(out.find(value), std::string::npos) << value << "\n" << out;
  }
}
