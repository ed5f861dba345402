// Writes a Google-Earth-layout KML document of about the given size in megabytes to standard
// output: placemarks with Chinese names, one point, one line and one polygon with a hole in
// turn, coordinates on their own lines with a space after each tuple, 6 decimals. With "full",
// the coordinates have the 16 or 17 significant digits and the altitude that Google Earth Pro
// writes (116.39747712345678,39.90869212345678,0). With "points", every placemark is a small
// one with a point, as an export of places of interest is. With "oneline", the document is
// one track of that many megabytes whose coordinates stand on one line, as Google Earth writes
// a LineString; with "lines", the same track with a tuple on each line.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

std::mt19937 random_source(2026);
bool full_precision = false;

void Tuple(std::string& out) {
  char buffer[64];
  int n;
  if (full_precision) {
    std::uniform_int_distribution<long long> digits(0, 99999999999999);
    n = std::snprintf(buffer, sizeof buffer, "116.%014lld,39.%014lld,0 ", digits(random_source), digits(random_source));
  } else {
    std::uniform_int_distribution<int> micro(0, 999999);
    n = std::snprintf(buffer, sizeof buffer, "116.%06d,39.%06d,0 ", micro(random_source), micro(random_source));
  }
  out.append(buffer, static_cast<size_t>(n));
}

void Coordinates(std::string& out, const char* indent, int tuples, bool closed) {
  out += "<coordinates>\n";
  out += indent;
  size_t first = out.size();
  Tuple(out);
  std::string first_tuple = out.substr(first);
  for (int i = 1; i < tuples; ++i) Tuple(out);
  if (closed) out += first_tuple;
  out += "\n";
  out.append(indent, std::string(indent).size() - 1);
  out += "</coordinates>\n";
}

}  // namespace

// One track of `target` bytes, its tuples separated by `separator`.
void Track(size_t target, const char* separator) {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>"
      "<Placemark><name>轨迹</name><LineString><coordinates>";
  size_t written = 0;
  while (written + out.size() < target) {
    Tuple(out);
    out.back() = *separator;
    if (out.size() > (1 << 20)) {
      written += std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  out += "</coordinates></LineString></Placemark></Document></kml>\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
}

int main(int argc, char** argv) {
  const std::string layout = argc == 3 ? argv[2] : "";
  if (argc < 2 || argc > 3 ||
      (argc == 3 && layout != "points" && layout != "full" && layout != "oneline" && layout != "lines")) {
    std::fprintf(stderr, "usage: generate_kml MEGABYTES [points|full|oneline|lines] > file.kml\n");
    return 2;
  }
  const size_t target = static_cast<size_t>(std::atof(argv[1]) * 1e6);
  if (layout == "oneline" || layout == "lines") {
    Track(target, layout == "oneline" ? " " : "\n");
    return 0;
  }
  const bool points_only = layout == "points";
  full_precision = layout == "full";
  size_t written = 0;
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<kml xmlns=\"http://www.opengis.net/kml/2.2\" xmlns:gx=\"http://www.google.com/kml/ext/2.2\">\n"
      "<Document>\n\t<name>性能测试.kml</name>\n";
  for (long i = 0; written + out.size() < target; ++i) {
    std::string id = std::to_string(i);
    switch (points_only ? 0 : i % 3) {
      case 0:
        out += "\t<Placemark>\n\t\t<name>兴趣点" + id + "</name>\n\t\t<styleUrl>#点样式</styleUrl>\n"
               "\t\t<Point>\n\t\t\t<gx:drawOrder>1</gx:drawOrder>\n\t\t\t";
        Coordinates(out, "\t\t\t\t", 1, false);
        out += "\t\t</Point>\n\t</Placemark>\n";
        break;
      case 1:
        out += "\t<Placemark>\n\t\t<name>道路" + id + "</name>\n\t\t<styleUrl>#线样式</styleUrl>\n"
               "\t\t<LineString>\n\t\t\t<tessellate>1</tessellate>\n\t\t\t";
        Coordinates(out, "\t\t\t\t", 60, false);
        out += "\t\t</LineString>\n\t</Placemark>\n";
        break;
      default:
        out += "\t<Placemark>\n\t\t<name>地块" + id + "</name>\n\t\t<Polygon>\n\t\t\t<tessellate>1</tessellate>\n"
               "\t\t\t<outerBoundaryIs>\n\t\t\t\t<LinearRing>\n\t\t\t\t\t";
        Coordinates(out, "\t\t\t\t\t\t", 40, true);
        out += "\t\t\t\t</LinearRing>\n\t\t\t</outerBoundaryIs>\n\t\t\t<innerBoundaryIs>\n\t\t\t\t<LinearRing>\n\t\t\t\t\t";
        Coordinates(out, "\t\t\t\t\t\t", 8, true);
        out += "\t\t\t\t</LinearRing>\n\t\t\t</innerBoundaryIs>\n\t\t</Polygon>\n\t</Placemark>\n";
    }
    if (out.size() > (1 << 20)) {
      written += std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  out += "</Document>\n</kml>\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
