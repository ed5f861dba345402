// Every real KML file converts, with every option, and GDAL reads back exactly what was written.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "document/encoding.h"
#include "document/text_io.h"
#include "features/feature_export.h"
#include "tab/tab_table.h"
#include "mif/coordinate_system.h"
#include "mif/transverse_mercator.h"
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
  std::string wkt;       // as ogrinfo prints it
  std::string name;      // the Name field, converted to GBK
  std::string style;
  size_t fields = 0;     // the fields it has a value of
  std::string values;    // the lines of its fields
};

// The features that ogrinfo reads from `path`, in order.
std::vector<ReadFeature> ReadBack(const std::string& path) {
  std::string out = ::Run("ogrinfo -ro -al -q '" + path + "' 2>&1");
  std::vector<ReadFeature> features;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("OGRFeature(", 0) == 0) features.emplace_back();
    if (line.find("ERROR") != std::string::npos) features.push_back({"ERROR " + line, "", "", "", 0, ""});
    if (features.empty()) continue;
    if (line.size() > 2 && line[0] == ' ' && line[1] == ' ' && line[2] >= 'A' && line[2] <= 'Z' &&
        line.find(" (") != std::string::npos && line.find(" = ") == std::string::npos) {
      features.back().geometry = WktObject(std::string_view(line).substr(2)).Read();
      features.back().wkt = line.substr(2);
    }
    if (line.rfind("  Name (String) = ", 0) == 0) features.back().name = Utf8ToAnsi(line.substr(18));
    if (line.rfind("  ", 0) == 0 && line.find(") = ") != std::string::npos && line.rfind("  Style = ", 0) != 0) {
      ++features.back().fields;
    }
    if (line.rfind("  Style = ", 0) == 0) features.back().style = line.substr(10);
    if (line.rfind("  ", 0) == 0 && line.find(") = ") != std::string::npos && line.rfind("  Style = ", 0) != 0) {
      features.back().values += line + "\n";
    }
  }
  return features;
}

// The numbers of a WKT text, and the text with each number as '#'.
std::pair<std::vector<double>, std::string> NumbersOfWkt(const std::string& wkt) {
  std::vector<double> numbers;
  std::string shape;
  for (size_t i = 0; i < wkt.size();) {
    char* end = nullptr;
    const bool starts = wkt[i] == '-' || (wkt[i] >= '0' && wkt[i] <= '9');
    const double value = starts ? std::strtod(wkt.c_str() + i, &end) : 0;
    if (starts && end != wkt.c_str() + i) {
      numbers.push_back(value);
      shape += '#';
      i = static_cast<size_t>(end - wkt.c_str());
    } else {
      shape += wkt[i++];
    }
  }
  return {numbers, shape};
}

std::vector<std::string> Geometries(const std::vector<ReadFeature>& features) {
  std::vector<std::string> geometries;
  for (const ReadFeature& f : features) geometries.push_back(f.geometry.empty() ? "N" : f.geometry);
  return geometries;
}

std::string Convert(const std::string& kml, const ConversionOptions& options, std::string* mid,
                    Encoding encoding = Encoding::kUtf8) {
  std::string decoded, mif;
  ConversionReport report;
  ExportWithOptions(
      SourceOf(kml, encoding, &decoded), options, 1,
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
  ConversionOptions multi, attributes, fields = ConversionOptions::All();
  multi.multi = true;
  attributes.attributes = true;
  fields.description_fields = fields.altitude = true;
  const std::pair<const char*, ConversionOptions> runs[] = {
      {"", {}}, {"attributes", attributes}, {"multi", multi}, {"all", ConversionOptions::All()}, {"fields", fields}};
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
      if (options.Table()) {
        // Every row whole: a value of each column.
        const size_t columns = std::stoul(mif.substr(mif.find("Columns ") + 8));
        for (const ReadFeature& f : read) EXPECT_EQ(f.fields, columns) << f.name;
        EXPECT_EQ(static_cast<size_t>(std::count(mid.begin(), mid.end(), '\n')), read.size());
      }
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
  EXPECT_EQ(files, 50);
  EXPECT_GT(records, 1500);
  EXPECT_GT(holes, 5);
  EXPECT_GT(tracks, 1500);
  EXPECT_GT(collections, 10);
}

TEST(Corpus, StylesReadBackWithTheKmlColours) {
  // geovant_styles.kml, colours as KML writes them (aabbggrr) and as GDAL reports them (#rrggbb).
  std::string mid;
  ConversionOptions with_styles;
  with_styles.styles = true;
  std::string mif =
      Convert(ReadFileBytes(std::filesystem::path(GEOVANT_CORPUS_DIR) / "geovant_styles.kml"), with_styles, &mid);
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

TEST(Corpus, FieldsOfDescriptionsAndAltitudesReadBackByName) {
  ConversionOptions options;
  options.description_fields = options.altitude = options.tracks = true;
  ScopedTempDir dir;
  std::string out, mid;
  for (const auto& [name, encoding] : {std::pair{"geovant_description_tables", Encoding::kUtf8},
                                       std::pair{"geovant_description_lines", Encoding::kAnsi}}) {
    mid.clear();
    const std::filesystem::path kml = std::filesystem::path(GEOVANT_CORPUS_DIR) / (std::string(name) + ".kml");
    WriteFileBytes(dir / "d.mif", Convert(ReadFileBytes(kml), options, &mid, encoding));
    WriteFileBytes(dir / "d.mid", mid);
    // GBK, as the literals are.
    out += Utf8ToAnsi(::Run("ogrinfo -ro -al -q '" + (dir / "d.mif").string() + "'"));
  }
  for (const char* value : {
           // An HTML table's two-cell rows, <th> names too; <Null> and &nbsp; are empty.
           "名称 (String) = 朝阳站", "FID (String) = 2", "开通年份 (String) = \n", "类型 (String) = \n",
           "线路 (String) = 1号线 & 4号线", "编号 (String) = L-01", "长度_km_ (String) = 12.5",
           // Escaped markup; the ExtendedData value is kept over the table's.
           "面积_公顷_ (String) = 44", "名称 (String) = 天安门广场（ExtendedData）",
           // Lines of "name：value", "name: value", "name = value".
           "票价 (String) = 10元", "开放时间 (String) = 6:00-18:00", "网址 (String) = http://www.summerpalace-china.com",
           "长度 (String) = 3.2 km", "难度 (String) = 中等",
           // A line and a track over their vertices.
           "AltitudeMin (Real) = 45\n  AltitudeMax (Real) = 48\n", "AltitudeMin (Real) = 185\n  AltitudeMax (Real) = 557\n"}) {
    EXPECT_NE(out.find(value), std::string::npos) << value;
  }
  // A point whose third coordinate is no number: its altitudes are empty (which GDAL reads as 0).
  const size_t note = mid.find(" 500 ");
  ASSERT_NE(note, std::string::npos);
  EXPECT_EQ(mid.substr(mid.find("\r\n", note) - 3, 5), "\",,\r\n");
  // Rows of one or three cells, and a note whose second line is none, give no field.
  for (const char* name : {"仅一格 (", "备注 (", "提示 ("}) EXPECT_EQ(out.find(name), std::string::npos) << name;
}

namespace {

// The vertices of each object of a MIF text ("x y" lines, and a Point's own), in order.
std::vector<std::vector<std::pair<std::string, std::string>>> VerticesByObject(const std::string& mif) {
  std::vector<std::vector<std::pair<std::string, std::string>>> objects;
  std::istringstream lines(mif.substr(mif.find("\nData\r\n") + 7));
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream tokens(line);
    std::vector<std::string> words{std::istream_iterator<std::string>(tokens), std::istream_iterator<std::string>()};
    if (line.empty() || line[0] == ' ') continue;  // styles, counts
    if (words.size() == 3 && words[0] == "Point") {
      objects.push_back({{words[1], words[2]}});
    } else if (words.size() == 2 && words[0] != "Pline" && words[0] != "Region" && words[0] != "Multipoint") {
      objects.back().emplace_back(words[0], words[1]);
    } else {
      objects.emplace_back();
    }
  }
  return objects;
}

bool IsNumber(const std::string& s, double* value) {
  char* end = nullptr;
  *value = std::strtod(s.c_str(), &end);
  return !s.empty() && *end == '\0' && std::isfinite(*value);
}

}  // namespace

// PROJ's eastings and northings of "lon lat" pairs in a CGCS2000 3-degree zone with its number.
std::vector<std::pair<double, double>> ProjOf(const std::vector<std::pair<std::string, std::string>>& lonlat, int zone,
                                              const ScopedTempDir& dir) {
  std::string text;
  for (const auto& [lon, lat] : lonlat) text += lon + " " + lat + "\n";
  WriteFileBytes(dir / "in.txt", text);
  std::istringstream out(::Run("gdaltransform -s_srs EPSG:4490 -t_srs EPSG:" + std::to_string(4513 + zone - 25) +
                               " -output_xy < '" + (dir / "in.txt").string() + "'"));
  std::vector<std::pair<double, double>> xy(lonlat.size());
  for (auto& [x, y] : xy) out >> x >> y;
  return xy;
}

TEST(Corpus, GaussKrugerVerticesAgreeWithProjAndGdalReadsTheFrame) {
  ConversionOptions gk3;
  std::string error;
  ASSERT_TRUE(ParseCoordinateSystem("gk3", &gk3.crs, &error));
  ScopedTempDir dir;
  size_t compared = 0;
  // Every vertex in China's longitudes and latitudes, in the zone it lies in.
  std::map<int, std::vector<std::pair<std::string, std::string>>> by_zone;
  for (const auto& kml : CorpusFiles()) {
    SCOPED_TRACE(kml.filename().string());
    const std::string bytes = ReadFileBytes(kml);
    std::string mid;
    const std::string plain = Convert(bytes, {}, &mid), projected = Convert(bytes, gk3, &mid);
    if (projected.empty()) continue;  // most of its vertices lie outside China's zones: not written
    const int meridian = std::stoi(projected.substr(projected.find("\"m\", ") + 5));
    const int zone = meridian / 3;
    // The objects whose vertices all have a place in the zone are those projected, in the same
    // order.
    std::vector<std::pair<std::string, std::string>> lonlat, xy;
    auto projected_objects = VerticesByObject(projected);
    size_t next = 0;
    for (const auto& object : VerticesByObject(plain)) {
      double lon, lat;
      bool numbers = std::all_of(object.begin(), object.end(), [&](const auto& v) {
        return IsNumber(v.first, &lon) && IsNumber(v.second, &lat) && std::fabs(lon) <= 360 && std::fabs(lat) <= 90 &&
               std::fabs(lon - meridian) <= 90;
      });
      if (!numbers || object.empty()) continue;
      ASSERT_LT(next, projected_objects.size());
      ASSERT_EQ(projected_objects[next].size(), object.size());
      for (size_t i = 0; i < object.size(); ++i) {
        IsNumber(object[i].first, &lon);
        IsNumber(object[i].second, &lat);
        if (lon < 73 || lon > 136 || lat < 3 || lat > 54) continue;
        by_zone[ZoneOf(CoordinateSystem::Kind::kGaussKruger3, lon)].push_back(object[i]);
        if (std::fabs(lon - meridian) > 4) continue;
        lonlat.push_back(object[i]);
        xy.push_back(projected_objects[next][i]);
      }
      ++next;
    }
    if (lonlat.empty() || zone < 25 || zone > 45) continue;
    // The file as written: each vertex within 4 degrees of its zone's meridian.
    std::vector<std::pair<double, double>> reference = ProjOf(lonlat, zone, dir);
    for (size_t i = 0; i < xy.size(); ++i) {
      EXPECT_NEAR(std::stod(xy[i].first), reference[i].first, 0.001);
      EXPECT_NEAR(std::stod(xy[i].second), reference[i].second, 0.001);
      ++compared;
    }
    // GDAL reads the header as the zone's frame.
    WriteFileBytes(dir / "gk.mif", projected);
    std::string frame = ::Run("gdalsrsinfo -o proj4 '" + (dir / "gk.mif").string() + "'");
    EXPECT_NE(frame.find("+proj=tmerc +lat_0=0 +lon_0=" + std::to_string(meridian) + " +k=1 +x_0=" +
                         std::to_string(zone) + "500000 "),
              std::string::npos)
        << frame;
  }
  for (const auto& [zone, lonlat] : by_zone) {
    if (zone < 25 || zone > 45) continue;  // China's zones, those with EPSG codes
    CoordinateSystem crs;
    crs.kind = CoordinateSystem::Kind::kGaussKruger3;
    TransverseMercator projection(TransverseMercator::kCgcs2000Axis, TransverseMercator::kCgcs2000InverseFlattening,
                                  CentralMeridianOf(crs.kind, zone), 1.0, FalseEastingOf(crs, zone), 0.0);
    std::vector<std::pair<double, double>> reference = ProjOf(lonlat, zone, dir);
    for (size_t i = 0; i < lonlat.size(); ++i) {
      double x, y;
      projection.Forward(std::stod(lonlat[i].first), std::stod(lonlat[i].second), &x, &y);
      EXPECT_NEAR(x, reference[i].first, 0.001) << lonlat[i].first << " " << lonlat[i].second;
      EXPECT_NEAR(y, reference[i].second, 0.001) << lonlat[i].first << " " << lonlat[i].second;
      ++compared;
    }
  }
  EXPECT_GT(compared, 100u);
}

TEST(Corpus, GdalReadsEveryTableBackAsItsMifFileAndFindsItsObjectsThroughTheIndex) {
  ConversionOptions gk = ConversionOptions::All();
  gk.description_fields = gk.altitude = true;
  ParseCoordinateSystem("gk3", &gk.crs, nullptr);
  const std::pair<const char*, ConversionOptions> runs[] = {{"", {}}, {"all", ConversionOptions::All()}, {"gk", gk}};
  ScopedTempDir dir;
  int tables = 0, found = 0;
  for (const auto& kml : CorpusFiles()) {
    const std::string bytes = ReadFileBytes(kml);
    for (const auto& [name, options] : runs) {
      SCOPED_TRACE(kml.filename().string() + " " + name);
      std::string mid;
      const std::string mif = Convert(bytes, options, &mid);
      if (mif.empty()) continue;  // a zone refused
      const std::string stem = kml.stem().string() + name;
      WriteFileBytes(dir / (stem + ".mif"), mif);
      if (options.Table()) WriteFileBytes(dir / (stem + ".mid"), mid);
      TabFiles files;
      TabReport report;
      const std::string_view mid_text = mid;
      ASSERT_TRUE(TabTableInMemory(mif, options.Table() ? &mid_text : nullptr, 2, &files, &report)) << report.error;
      WriteFileBytes(dir / (stem + ".tab"), files.tab);
      WriteFileBytes(dir / (stem + ".dat"), files.dat);
      WriteFileBytes(dir / (stem + ".map"), files.map);
      WriteFileBytes(dir / (stem + ".id"), files.id);
      const std::vector<ReadFeature> from_mif = ReadBack((dir / (stem + ".mif")).string());
      const std::vector<ReadFeature> from_tab = ReadBack((dir / (stem + ".tab")).string());
      ASSERT_EQ(from_tab.size(), from_mif.size());
      for (size_t f = 0; f < from_mif.size(); ++f) {
        SCOPED_TRACE(f + 1);
        // Without a MID file the MIF file's one column has no values; the table's are empty.
        if (options.Table()) {
          EXPECT_EQ(from_tab[f].values, from_mif[f].values);
        }
        EXPECT_EQ(from_tab[f].style, from_mif[f].style);
        const auto [tab_numbers, tab_shape] = NumbersOfWkt(from_tab[f].wkt);
        const auto [mif_numbers, mif_shape] = NumbersOfWkt(from_mif[f].wkt);
        ASSERT_EQ(tab_shape, mif_shape);
        // Within the grid's quantum, and ogrinfo's printing (to about 13 digits, and 7 decimals).
        for (size_t n = 0; n < mif_numbers.size(); ++n) {
          EXPECT_NEAR(tab_numbers[n], mif_numbers[n], report.quantum + std::abs(mif_numbers[n]) * 3e-13 + 5e-8);
        }
      }
      ++tables;
      // A window over the middle of the data finds the same objects through the index as
      // the MIF file's reading does by testing each.
      const std::string extent = ::Run("ogrinfo -ro -so -al '" + (dir / (stem + ".mif")).string() + "' | grep Extent");
      double x0, y0, x1, y1;
      if (std::sscanf(extent.c_str(), "Extent: (%lf, %lf) - (%lf, %lf)", &x0, &y0, &x1, &y1) != 4 || x0 == x1 || y0 == y1) {
        continue;  // a window of no width could not tell a vertex from its stored neighbour
      }
      char window[200];
      std::snprintf(window, sizeof window, "-spat %.9f %.9f %.9f %.9f", x0 + (x1 - x0) / 4, y0 + (y1 - y0) / 4,
                    x1 - (x1 - x0) / 3, y1 - (y1 - y0) / 3);
      auto count = [&](const std::string& file) {
        return ::Run("ogrinfo -ro -al -q " + std::string(window) + " '" + (dir / file).string() + "' | grep -c OGRFeature");
      };
      EXPECT_EQ(count(stem + ".tab"), count(stem + ".mif"));
      found += std::atoi(count(stem + ".tab").c_str());
    }
  }
  EXPECT_GT(tables, 100);
  EXPECT_GT(found, 300);
}
