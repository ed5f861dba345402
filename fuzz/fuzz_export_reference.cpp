// The export against its reference, the design it replaced: the same MIF and MID bytes and the
// same report for any document, in either encoding, with any options, its placemarks read in
// stretches of 1 to 64 bytes on one thread or two.
#include <cstdint>
#include <string>

#include "features/feature_export.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/reference/feature_export.h"

namespace {

struct Written {
  std::string mif, mid;
  bool ok = false;
};

template <typename Export>
Written Run(Export export_with, bool rewindable) {
  Written out;
  auto to = [](std::string& text) {
    return [&text](std::string_view piece) {
      text.append(piece);
      return true;
    };
  };
  const SinkRewind rewind{[&](std::string_view head) {
                            out.mif.replace(0, head.size(), head);
                            return true;
                          },
                          [&] {
                            out.mif.clear();
                            out.mid.clear();
                            return true;
                          }};
  out.ok = export_with(to(out.mif), to(out.mid), rewindable ? &rewind : nullptr);
  return out;
}

template <typename Report>
std::string Describe(const Report& r) {
  std::string text = std::to_string(r.dropped_columns) + " " + std::to_string(r.cut_values) + " " +
                     std::to_string(r.unrepresented) + " " + std::to_string(r.zone) + " " +
                     std::to_string(r.zone_refused) + " " + std::to_string(r.far_vertices) + " " +
                     std::to_string(r.records.objects) + " " + std::to_string(r.records.version.version) + " " +
                     std::to_string(r.records.version.large_objects) + " " + std::to_string(r.records.left_out.no_number) +
                     " " + std::to_string(r.records.left_out.beyond) + " " + std::to_string(r.records.left_out.records) +
                     " " + r.records.left_out.first;
  for (const auto& invalid : r.invalid_values) text += " " + invalid.column + invalid.type + std::to_string(invalid.count);
  for (const auto& [name, written] : r.renamed_columns) text += " " + name + ">" + written;
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const unsigned bits = data[0] | data[1] << 8;
  const std::string bytes(reinterpret_cast<const char*>(data) + 3, size - 3);
  ConversionOptions options;
  options.attributes = bits & 1;
  options.styles = bits & 2;
  options.polygons = bits & 4;
  options.tracks = bits & 8;
  options.multi = bits & 16;
  options.typed = bits & 32;
  options.times = bits & 64;
  options.empty_rows = bits & 128;
  options.plain_descriptions = bits & 256;
  switch ((bits >> 9) & 7) {
    case 1: options.crs.kind = CoordinateSystem::Kind::kGaussKruger3; break;
    case 2: options.crs.kind = CoordinateSystem::Kind::kGaussKruger6, options.crs.zone_prefix = false; break;
    case 3: options.crs.kind = CoordinateSystem::Kind::kCgcs2000; break;
    default: break;
  }
  const size_t block = 1 + data[2] % 64;
  const int threads = 1 + (data[2] >> 6) % 2;
  const bool rewindable = bits & (1u << 12);
  for (Encoding encoding : {Encoding::kUtf8, Encoding::kAnsi}) {
    std::string decoded;
    const ExportSource source = SourceOf(bytes, encoding, &decoded);
    ConversionReport report;
    reference::ConversionReport expected_report;
    const Written got = Run(
        [&](const MifSink& mif, const MifSink& mid, const SinkRewind* rewind) {
          return ExportWithOptions(source, options, threads, mif, mid, &report, rewind, block);
        },
        rewindable);
    const Written expected = Run(
        [&](const MifSink& mif, const MifSink& mid, const SinkRewind* rewind) {
          return reference::ExportWithOptions(source, options, threads, mif, mid, &expected_report, rewind, block);
        },
        rewindable);
    FUZZ_CHECK(got.ok == expected.ok);
    FUZZ_CHECK(got.mif == expected.mif);
    FUZZ_CHECK(got.mid == expected.mid);
    if (Describe(report) != Describe(expected_report)) {
      std::fprintf(stderr, "report:\n%s\nexpected:\n%s\n", Describe(report).c_str(), Describe(expected_report).c_str());
    }
    FUZZ_CHECK(Describe(report) == Describe(expected_report));
  }
  return 0;
}
