#include "cli/report_lines.h"

#include <algorithm>
#include <cstdio>

#include "document/encoding.h"

std::string Printable(std::string_view gbk) {
  std::string shown;
  for (char c : AnsiToUtf8(gbk)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  return shown;
}

namespace {

std::string Plural(size_t n, const char* one, const char* many) { return GroupedDigits(n) + " " + (n == 1 ? one : many); }

std::string VersionLine(const VersionNeeds& needs) {
  const std::string version = std::to_string(needs.version);
  const std::string size = "(the largest " + GroupedDigits(needs.largest_nodes) + " nodes" +
                           (needs.largest_sections > 1 ? " in " + GroupedDigits(needs.largest_sections) + " sections" : "") + ")";
  const std::string what = needs.version >= 800 ? Plural(needs.large_objects, "object is", "objects are") +
                                                      " larger than MapInfo before 8.0 holds " + size
                                                : Plural(needs.large_objects, "object has", "objects have") +
                                                      " more than 32,767 nodes " + size;
  return what + ": the MIF says Version " + version + ", for MapInfo " + version.substr(0, 1) + "." + version.substr(1, 1) +
         " or later";
}

std::string LeftOutLine(const LeftOut& left_out, bool rows) {
  std::vector<std::string> what;
  if (left_out.no_number) {
    what.push_back(Plural(left_out.no_number, "vertex", "vertices") + " with a coordinate that is no number (the first: '" +
                   Printable(left_out.first) + "')");
  }
  if (left_out.beyond) {
    what.push_back(Plural(left_out.beyond, "vertex", "vertices") +
                   " that the projection has no place for (no place on the earth, or more than 90 degrees from the"
                   " central meridian)");
  }
  if (left_out.records) {
    what.push_back(Plural(left_out.records, "object", "objects") +
                   " with fewer vertices than MapInfo needs (1 for a point, 2 for a line, 3 for a ring)" +
                   (!rows ? "" : left_out.records == 1 ? ", whose row stays with no object" : ", whose rows stay with no object"));
  }
  std::string line = "left out: ";
  for (size_t i = 0; i < what.size(); ++i) line += (i == 0 ? "" : i + 1 == what.size() ? " and " : ", ") + what[i];
  return line;
}

}  // namespace

std::vector<std::string> ReportLines(const ConversionReport& report, const ConversionOptions& options) {
  std::vector<std::string> lines;
  if (report.dropped_columns) {
    lines.push_back(GroupedDigits(report.dropped_columns) + " ExtendedData names beyond the 250 columns of a MIF file were left out");
  }
  if (report.cut_values) lines.push_back(GroupedDigits(report.cut_values) + " values longer than 254 bytes were cut");
  if (!report.renamed_columns.empty()) {
    std::string names, written;
    for (const auto& [name, renamed] : report.renamed_columns) {
      names += (names.empty() ? "" : ", ") + Printable(name);
      written += (written.empty() ? "" : ", ") + Printable(renamed);
    }
    lines.push_back("MapInfo keeps the column " + std::string(report.renamed_columns.size() == 1 ? "name " : "names ") +
                    names + " for itself: written as " + written);
  }
  if (report.unrepresented && options.Table()) {
    lines.push_back(Plural(report.unrepresented, "character", "characters") +
                    " that GBK lacks (or bytes of no character) were written as '?' in the MID file");
  }
  if (!report.records.left_out.empty()) lines.push_back(LeftOutLine(report.records.left_out, options.Table()));
  if (report.records.version.large_objects) lines.push_back(VersionLine(report.records.version));
  if (report.far_vertices) {
    lines.push_back(Plural(report.far_vertices, "vertex lies", "vertices lie") + " farther than " +
                    (options.crs.kind == CoordinateSystem::Kind::kGaussKruger3 ? "1.5" : "3") +
                    " degrees from the central meridian of zone " + std::to_string(report.zone) +
                    ", where the zone's distortion is larger; projected all the same");
  }
  if (report.described_twice) {
    lines.push_back(Plural(report.described_twice, "placemark gives", "placemarks give") +
                    " a field in the description that the ExtendedData also gives: the ExtendedData value was kept");
  }
  if (report.no_altitude) {
    lines.push_back(Plural(report.no_altitude, "object has", "objects have") +
                    " a third coordinate that is no number: the altitude columns were left empty");
  }
  for (const ConversionReport::Invalid& invalid : report.invalid_values) {
    lines.push_back(Plural(invalid.count, "value", "values") + " of the " + invalid.type + " column '" +
                    Printable(invalid.column) + (invalid.count == 1 ? "' is no such number and was left empty"
                                                                    : "' are no such numbers and were left empty"));
  }
  return lines;
}

std::vector<std::string> LinkLines(const FollowedLinks& followed) {
  std::vector<std::string> lines;
  auto add = [&](const LinkList& list, const char* what) {
    constexpr size_t kListed = 10;
    if (list.count == 0) return;
    std::string names;
    for (size_t i = 0; i < std::min(kListed, list.names.size()); ++i) {
      names += (names.empty() ? "" : ", ") + Printable(list.names[i]);
    }
    if (list.names.size() > kListed) names += " and " + GroupedDigits(list.names.size() - kListed) + " more";
    lines.push_back(Plural(list.count, "NetworkLink", "NetworkLinks") + " " + what + ": " + names);
  };
  add(followed.outside, "lead outside the archive and were not followed");
  add(followed.missing, "name entries that the archive does not hold");
  add(followed.unreadable, "name entries that cannot be read, and were not followed");
  add(followed.too_deep, "name entries that only chains of more than 8 links reach, and were not followed");
  return lines;
}

std::string RefusedZoneLine(const ConversionReport& report, const CoordinateSystem& crs) {
  const bool three = crs.kind == CoordinateSystem::Kind::kGaussKruger3;
  const ZoneRange zones = ChineseZonesOf(crs.kind);
  return std::string("most of the data lie in zone ") + std::to_string(report.zone) + " of " + (three ? "3" : "6") +
         " degrees, outside the zones " + std::to_string(zones.first) + " to " + std::to_string(zones.last) +
         " that CGCS2000 defines over China: nothing was written (name a zone, --crs " + (three ? "gk3" : "gk6") +
         ":ZONE, to project them in it all the same)";
}
