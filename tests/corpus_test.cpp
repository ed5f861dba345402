// Every real KML file converts, and GDAL reads back exactly the records written.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <sstream>

#include "document/text_io.h"
#include "mif/mif_export.h"
#include "tests/test_support.h"

namespace {

// Vertex count of every record in the MIF text, in order, as a reader will see it: a reader
// closes a region's ring when its last vertex is not its first.
std::vector<int> ExpectedRecords(const std::string& mif) {
  std::vector<int> records;
  std::istringstream lines(mif);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("Point ", 0) == 0) records.push_back(1);
    if (line.rfind("Pline ", 0) == 0) records.push_back(std::stoi(line.substr(6)));
    if (line.rfind("Region ", 0) == 0) {
      std::getline(lines, line);
      int count = std::stoi(line);
      std::string first, last;
      for (int i = 0; i < count; ++i) {
        std::getline(lines, last);
        if (i == 0) first = last;
      }
      records.push_back(count + (first != last));
    }
  }
  return records;
}

// Vertex count of every feature that ogrinfo reads back, in order.
std::vector<int> ReadBackRecords(const std::string& mif_path) {
  std::string command = "ogrinfo -ro -al -q '" + mif_path + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buffer[65536];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
  pclose(pipe);
  std::vector<int> records;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    bool geometry = false;
    for (const char* kind : {"  POINT (", "  LINESTRING (", "  POLYGON (("}) geometry |= line.rfind(kind, 0) == 0;
    if (geometry) records.push_back(static_cast<int>(std::count(line.begin(), line.end(), ',')) + 1);
  }
  if (out.find("ERROR") != std::string::npos) records.push_back(-1);
  return records;
}

}  // namespace

TEST(Corpus, GdalReadsBackEveryRecordWritten) {
  ASSERT_EQ(std::system("ogrinfo --version > /dev/null 2>&1"), 0) << "ogrinfo (gdal-bin) is needed";
  ScopedTempDir dir;
  int files = 0, records = 0;
  for (const auto& kml : CorpusFiles()) {
    SCOPED_TRACE(kml.filename().string());
    GeometryState state;
    std::string mif = BuildMifText(state, MakeDocument(DecodeDocument(ReadFileBytes(kml), Encoding::kUtf8)));
    std::filesystem::path out = dir / (kml.stem().string() + ".mif");
    WriteFileBytes(out, mif);
    std::vector<int> written = ExpectedRecords(mif);
    EXPECT_EQ(ReadBackRecords(out.string()), written);
    ++files;
    records += static_cast<int>(written.size());
  }
  EXPECT_EQ(files, 48);
  EXPECT_GT(records, 1500);
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
