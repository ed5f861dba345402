#include "tests/test_support.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(GEOVANT_CORPUS_DIR)) {
    if (entry.path().extension() == ".kml") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

ScopedTempDir::ScopedTempDir() {
#ifdef _WIN32
  path_ = fs::temp_directory_path() / ("geovant-test-" + std::to_string(std::random_device{}()));
  fs::create_directories(path_);
#else
  std::string pattern = (fs::temp_directory_path() / "geovant-test-XXXXXX").string();
  path_ = mkdtemp(pattern.data());
#endif
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

std::string GenerateKml(int placemarks, int vertices, bool full_precision) {
  std::mt19937 random(42);
  std::uniform_int_distribution<int> digits(0, 999999);
  std::uniform_int_distribution<long long> full(0, 99999999999999);
  auto tuple = [&] {
    if (!full_precision) return "116." + std::to_string(digits(random)) + ",39." + std::to_string(digits(random)) + ",0";
    // Google Earth Pro's 16 or 17 significant digits, now and then with an altitude.
    std::string text = "116.";
    text += std::to_string(full(random));
    text += ",39.";
    text += std::to_string(full(random));
    if (digits(random) % 5 == 0) {
      text += ",";
      text += std::to_string(digits(random));
      text += ".25";
    } else {
      text += ",0";
    }
    return text;
  };
  auto tuples = [&](const std::string& indent, bool closed) {
    std::string first = tuple();
    std::string text = "\n" + indent + first + " ";
    for (int v = 1; v < vertices; ++v) text += tuple() + " ";
    if (closed) text += first + " ";
    return text + "\n" + indent.substr(1);
  };
  std::string kml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
      "<Document>\n\t<name>生成的样例</name>\n";
  for (int i = 0; i < placemarks; ++i) {
    kml += "\t<Placemark>\n\t\t<name>点" + std::to_string(i) +
           "</name>\n\t\t<Point>\n\t\t\t<coordinates>" + tuple() + "</coordinates>\n\t\t</Point>\n\t</Placemark>\n";
    kml += "\t<Placemark>\n\t\t<name>线" + std::to_string(i) +
           "</name>\n\t\t<LineString>\n\t\t\t<tessellate>1</tessellate>\n\t\t\t<coordinates>" +
           tuples("\t\t\t\t", false) + "</coordinates>\n\t\t</LineString>\n\t</Placemark>\n";
    kml += "\t<Placemark>\n\t\t<name>面" + std::to_string(i) +
           "</name>\n\t\t<Polygon>\n\t\t\t<outerBoundaryIs>\n\t\t\t\t<LinearRing>\n\t\t\t\t\t<coordinates>" +
           tuples("\t\t\t\t\t\t", true) +
           "</coordinates>\n\t\t\t\t</LinearRing>\n\t\t\t</outerBoundaryIs>\n\t\t</Polygon>\n\t</Placemark>\n";
  }
  kml += "</Document>\n</kml>\n";
  return kml;
}
