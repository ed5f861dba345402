// The bytes of every export, frozen: the MIF and MID files (their sizes and digests) and the
// report of each test file, and of documents made for the rules of order, with each set of
// options, as tests/data/golden/exports.tsv holds them. A change to the export must keep them.
// GEOVANT_WRITE_GOLDEN=1 writes the table anew from the code at hand (and fails, so that a
// table is never rewritten unnoticed).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "document/declared_encoding.h"
#include "document/encoding.h"
#include "document/kmz.h"
#include "features/feature_export.h"
#include "features/network_links.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

uint64_t Fnv1a(std::string_view bytes) {
  uint64_t hash = 14695981039346656037ULL;
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ULL;
  return hash;
}

std::string Digest(std::string_view bytes) {
  std::ostringstream out;
  out << bytes.size() << ':' << std::hex << Fnv1a(bytes);
  return out.str();
}

// What the report says, as one line of text.
std::string ReportText(const ConversionReport& r) {
  std::ostringstream out;
  out << "d" << r.dropped_columns << " c" << r.cut_values << " u" << r.unrepresented << " z" << r.zone
      << (r.zone_refused ? "!" : "") << " f" << r.far_vertices << " o" << r.records.objects << " v"
      << r.records.version.version << "/" << r.records.version.large_objects << " l" << r.records.left_out.no_number
      << "/" << r.records.left_out.beyond << "/" << r.records.left_out.records << "/" << r.records.left_out.first;
  for (const auto& invalid : r.invalid_values) out << " i" << invalid.column << "=" << invalid.type << invalid.count;
  for (const auto& [name, written] : r.renamed_columns) out << " r" << name << ">" << written;
  // The table stays text: other bytes as \xHH.
  std::string text;
  for (unsigned char c : out.str()) {
    static const char kHex[] = "0123456789abcdef";
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      text += static_cast<char>(c);
    } else {
      text += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
    }
  }
  return text;
}

struct OptionSet {
  const char* name;
  ConversionOptions options;
};

std::vector<OptionSet> OptionSets() {
  auto with = [](auto set) {
    ConversionOptions options;
    set(options);
    return options;
  };
  using Kind = CoordinateSystem::Kind;
  return {
      {"none", {}},
      {"attributes", with([](ConversionOptions& o) { o.attributes = true; })},
      {"styles", with([](ConversionOptions& o) { o.styles = true; })},
      {"polygons", with([](ConversionOptions& o) { o.polygons = true; })},
      {"tracks", with([](ConversionOptions& o) { o.tracks = true; })},
      {"multi", with([](ConversionOptions& o) { o.multi = true; })},
      {"typed", with([](ConversionOptions& o) { o.typed = true; })},
      {"times", with([](ConversionOptions& o) { o.times = true; })},
      {"empty-rows", with([](ConversionOptions& o) { o.empty_rows = true; })},
      {"plain-descriptions", with([](ConversionOptions& o) { o.plain_descriptions = true; })},
      {"links", with([](ConversionOptions& o) { o.links = true; })},
      {"multi+empty-rows", with([](ConversionOptions& o) { o.multi = o.empty_rows = true; })},
      {"all", ConversionOptions::All()},
      {"all+gk3", with([](ConversionOptions& o) { o = ConversionOptions::All(), o.crs.kind = Kind::kGaussKruger3; })},
      {"gk6+no-zone-prefix", with([](ConversionOptions& o) { o.crs.kind = Kind::kGaussKruger6, o.crs.zone_prefix = false; })},
      {"cgcs2000", with([](ConversionOptions& o) { o.crs.kind = Kind::kCgcs2000; })},
      {"wgs84", with([](ConversionOptions& o) { o.crs.kind = Kind::kWgs84; })},
      {"attributes+gk3", with([](ConversionOptions& o) { o.attributes = true, o.crs.kind = Kind::kGaussKruger3; })},
      {"description-fields", with([](ConversionOptions& o) { o.description_fields = true; })},
      {"altitude", with([](ConversionOptions& o) { o.altitude = true; })},
      {"fields+altitude+multi+tracks+gk3", with([](ConversionOptions& o) {
         o.description_fields = o.altitude = o.multi = o.tracks = true, o.crs.kind = Kind::kGaussKruger3;
       })},
  };
}

// A document as the command line reads it: a KMZ archive's KML file, its links followed with
// --links; the encoding its declaration (or its bytes, where text is written) says.
struct Reading {
  std::string kml;
  Encoding encoding;
};

Reading ReadAsTheCommandLine(const std::string& bytes, const ConversionOptions& options) {
  Reading reading{bytes, Encoding::kUtf8};
  std::string entry;
  const bool archive = IsKmz(bytes);
  if (archive && ExtractKml(bytes, &reading.kml, &entry) != KmzError::kNone) reading.kml.clear();
  bool read_as_gbk = false;
  reading.encoding = ReadingEncoding(reading.kml, Encoding::kUtf8, options.Table() ? &read_as_gbk : nullptr);
  if (!archive) return reading;
  if (HasUtf16ByteOrderMark(reading.kml)) {
    reading.kml = DecodeDocument(reading.kml, Encoding::kAnsi);
    reading.encoding = Encoding::kAnsi;
  }
  if (options.links) reading.kml = FollowLinks(bytes, entry, reading.kml, reading.encoding).text;
  return reading;
}

// The line of the table for one conversion: written through sinks that can go back over the
// files, as the command line writes files; one that cannot (standard output) and two threads
// must give the same.
std::string Convert(const Reading& reading, const ConversionOptions& options) {
  std::string decoded;
  const ExportSource source = SourceOf(reading.kml, reading.encoding, &decoded);
  auto run = [&](int threads, bool rewindable, ConversionReport* report) {
    std::string mif, mid;
    auto to = [](std::string& text) {
      return [&text](std::string_view piece) {
        text.append(piece);
        return true;
      };
    };
    const SinkRewind rewind{[&](std::string_view head) {
                              mif.replace(0, head.size(), head);
                              return true;
                            },
                            [&] {
                              mif.clear();
                              mid.clear();
                              return true;
                            }};
    ExportWithOptions(source, options, threads, to(mif), to(mid), report, rewindable ? &rewind : nullptr);
    if (report->zone_refused) mif.clear(), mid.clear();
    return Digest(mif) + "\t" + Digest(mid);
  };
  ConversionReport report;
  const std::string written = run(1, true, &report);
  ConversionReport other;
  EXPECT_EQ(run(2, false, &other), written) << "read once, on two threads";
  EXPECT_EQ(ReportText(other), ReportText(report));
  return written + "\t" + ReportText(report);
}

// Documents for the rules of order: what the output of a placemark depends on that comes
// after it, or around it.
std::map<std::string, std::string> OrderDocuments() {
  const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
                           "xmlns:gx=\"http://www.google.com/kml/ext/2.2\"><Document>\n";
  const std::string tail = "</Document></kml>\n";
  auto point = [](int i) {
    return "<Point><coordinates>116." + std::to_string(100 + i) + ",39." + std::to_string(200 + i) + ",0</coordinates></Point>";
  };
  auto line = [](int i) {
    return "<LineString><coordinates>116.1,39." + std::to_string(i) + " 116.2,39.5 116.3,39.6</coordinates></LineString>";
  };
  const std::string polygon =
      "<Polygon><outerBoundaryIs><LinearRing><coordinates>116,39 116.4,39 116.4,39.4 116,39.4 116,39</coordinates>"
      "</LinearRing></outerBoundaryIs><innerBoundaryIs><LinearRing><coordinates>116.1,39.1 116.2,39.1 116.2,39.2 "
      "116.1,39.1</coordinates></LinearRing></innerBoundaryIs></Polygon>";
  const std::string track = "<gx:Track><when>2020-01-01T00:00:00Z</when><when>2020-01-01T00:01:00Z</when>"
                            "<gx:coord>116.1 39.1 10</gx:coord><gx:coord>116.2 39.2 20</gx:coord></gx:Track>";
  std::map<std::string, std::string> docs;
  docs["nested-and-unclosed"] =
      head + "<Placemark><name>外</name>" + point(1) + "<Placemark><name>内</name>" + line(1) +
      "</Placemark><description>后来的描述</description>" + point(2) + "</Placemark>\n<Placemark><name>未闭合</name>" +
      point(3) + "\n<Folder><name>F</name><Placemark><name>在文件夹中</name>" + line(2) + "</Folder>" +
      point(4) + "<Placemark><name>到文档结束</name>" + polygon + tail;
  std::string late_field = head;
  for (int i = 0; i < 40; ++i) {
    late_field += "<Placemark><name>点" + std::to_string(i) + "</name><ExtendedData><Data name=\"编号\"><value>" +
                  std::to_string(i) + "</value></Data><SchemaData><SimpleData name=\"人口\">" + std::to_string(i * 7) +
                  "</SimpleData><SimpleData name=\"面积\">x" + std::to_string(i) + "</SimpleData></SchemaData></ExtendedData>" +
                  point(i) + "</Placemark>\n";
  }
  late_field += "<Placemark><name>最后</name><ExtendedData><Data name=\"新列\"><value>一个很长的值" +
                std::string(300, 'v') + "</value></Data><Data name=\"Object\"><value>o</value></Data></ExtendedData>" +
                line(3) + "</Placemark>\n<Schema id=\"s\"><SimpleField name=\"人口\" type=\"int\"/><SimpleField name=\"面积\" "
                "type=\"double\"/><SimpleField name=\"编号\" type=\"int\"/></Schema>" + tail;
  docs["late-field"] = late_field;
  docs["late-style"] =
      head + "<Placemark><styleUrl>#地图</styleUrl>" + point(1) + "</Placemark><Placemark><styleUrl>#线</styleUrl>" + line(1) +
      "</Placemark><Placemark><styleUrl>#面</styleUrl>" + polygon +
      "</Placemark>\n<StyleMap id=\"地图\"><Pair><key>normal</key><styleUrl>#点</styleUrl></Pair></StyleMap>"
      "<Style id=\"点\"><IconStyle><color>ff00ff00</color><scale>2</scale></IconStyle></Style>"
      "<Style id=\"线\"><LineStyle><color>ff0000ff</color><width>4</width></LineStyle></Style>"
      "<Style id=\"面\"><PolyStyle><color>7f00ff00</color><fill>1</fill><outline>0</outline></PolyStyle></Style>" + tail;
  docs["late-folder-name"] = head + "<Folder><Placemark><name>a</name>" + point(1) + "</Placemark><Folder><Placemark>" +
                             line(1) + "</Placemark><name>内层</name></Folder><Placemark>" + point(2) +
                             "</Placemark><name>外层 文件夹</name></Folder>" + tail;
  docs["empty-beside-multi"] =
      head + "<Placemark><name>空</name></Placemark><Placemark><name>多</name><MultiGeometry>" + point(1) + point(2) +
      line(1) + polygon + track + "</MultiGeometry><TimeSpan><begin>2019</begin><end>2021</end></TimeSpan></Placemark>"
      "<Placemark><name>又空</name><TimeStamp><when>2020</when></TimeStamp></Placemark>" + point(9) +
      "<Placemark><name>点和点</name><MultiGeometry>" + point(3) + point(4) + "</MultiGeometry></Placemark>"
      "<Placemark><name>轨迹</name>" + track + "</Placemark>" + tail;
  docs["joined"] = head + "<Placemark><name>j</name><Point><coordinates>1,2</Point><Point>3,4</coordinates></Point>"
                   "<LineString><coordinates>1,1 2,2</LineString><LineString>3,3</coordinates></LineString></Placemark>"
                   "<Placemark>" + point(5) + "</Placemark>" + tail;
  docs["descriptions"] =
      head + "<Placemark><name>表</name><description><![CDATA[<table><tr><td>甲</td><td>乙&amp;丙</td></tr></table><br>行"
             "<ul><li>一</li><li>二</li></ul>]]></description>" + point(1) +
      "</Placemark><Placemark><name>&lt;实体&gt; &#x4E2D; &#x1F600;</name><description>" + std::string(400, 'd') +
      "</description>" + point(2) + "</Placemark>" + tail;
  // Every rule at once, in blocks large enough to be read on several threads.
  std::string large = head;
  for (int i = 0; large.size() < (size_t{9} << 20); ++i) {
    for (const char* name : {"nested-and-unclosed", "late-style", "late-folder-name", "empty-beside-multi"}) {
      const std::string& doc = docs[name];
      large += "<Folder><name>重复" + std::to_string(i) + "</name>" + doc.substr(head.size(), doc.size() - head.size() - tail.size()) + "</Folder>\n";
    }
    large += "<Placemark><name>p" + std::to_string(i) + "</name><ExtendedData><Data name=\"f" + std::to_string(i % 300) +
             "\"><value>" + std::to_string(i) + "</value></Data></ExtendedData>" + point(i % 900) + "</Placemark>\n";
  }
  docs["large"] = large + tail;
  std::string gbk = docs["late-field"];
  gbk.replace(gbk.find("UTF-8"), 5, "GBK");
  docs["late-field-gbk"] = Utf8ToAnsi(gbk);
  return docs;
}

fs::path GoldenFile() { return fs::path(GEOVANT_CORPUS_DIR).parent_path() / "golden" / "exports.tsv"; }

}  // namespace

TEST(ExportGolden, EveryFileAndOptionSetWritesTheBytesOfTheTable) {
  std::vector<std::pair<std::string, std::string>> inputs;  // name, bytes
  const fs::path data = fs::path(GEOVANT_CORPUS_DIR).parent_path();
  for (const char* folder : {"kml", "kmz"}) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(data / folder)) {
      if (entry.is_regular_file() && entry.path().filename() != "SOURCES.md") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) inputs.emplace_back(std::string(folder) + "/" + file.filename().string(), ReadFileBytes(file));
  }
  for (auto& [name, text] : OrderDocuments()) inputs.emplace_back("order/" + name, std::move(text));

  std::string table;
  for (const auto& [name, bytes] : inputs) {
    for (const OptionSet& set : OptionSets()) {
      // The large document with the sets that read it each in another way.
      const std::string set_name = set.name;
      if (name == "order/large" && set_name != "none" && set_name != "attributes" && set_name != "multi+empty-rows" &&
          set_name != "all" && set_name != "all+gk3" && set_name != "gk6+no-zone-prefix") {
        continue;
      }
      table += name + "\t" + set.name + "\t" + Convert(ReadAsTheCommandLine(bytes, set.options), set.options) + "\n";
    }
  }
  if (std::getenv("GEOVANT_WRITE_GOLDEN")) {
    fs::create_directories(GoldenFile().parent_path());
    WriteFileBytes(GoldenFile(), table);
    FAIL() << "wrote " << GoldenFile() << "; unset GEOVANT_WRITE_GOLDEN to compare with it";
  }
  const std::string golden = ReadFileBytes(GoldenFile());
  ASSERT_FALSE(golden.empty()) << GoldenFile();
  std::istringstream want(golden), got(table);
  std::string want_line, got_line;
  int differences = 0;
  while (std::getline(want, want_line) && std::getline(got, got_line)) {
    if (want_line != got_line && ++differences <= 20) ADD_FAILURE() << "want " << want_line << "\n got " << got_line;
  }
  EXPECT_EQ(differences, 0);
  EXPECT_EQ(table.size(), golden.size()) << "the table has other lines";
}
