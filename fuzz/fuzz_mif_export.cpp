// The MIF export of any document: the records are well formed, the export of the file's own
// bytes equals the export of the converted document in both encodings, and the coordinates
// search over the joined element texts finds what the general engine finds in the joined text.
#include <cstdint>
#include <string>

#include "document/text_io.h"
#include "fuzz/fuzz_check.h"
#include "mif/coordinates.h"
#include "mif/file_export.h"
#include "mif/mif_export.h"
#include "mif/section_builders.h"

namespace {

std::string_view NextLine(std::string_view& text) {
  size_t end = text.find("\r\n");
  std::string_view line = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 2);
  return line;
}

bool IsVertexLine(std::string_view line) {
  size_t space = line.find(' ');
  return space != 0 && space != std::string_view::npos && space + 1 < line.size() &&
         line.find(' ', space + 1) == std::string_view::npos && line.find(',') == std::string_view::npos &&
         line.find_first_of("\t\r\n\f\v") == std::string_view::npos;
}

size_t Count(std::string_view digits) {
  FUZZ_CHECK(!digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos);
  FUZZ_CHECK(digits[0] != '0');
  return std::stoul(std::string(digits));
}

void CheckRecords(std::string_view mif) {
  FUZZ_CHECK(mif.substr(0, MifHeader.size()) == MifHeader);
  mif.remove_prefix(MifHeader.size());
  int separators = 0;
  while (!mif.empty()) {
    std::string_view line = NextLine(mif);
    if (line.empty()) {
      ++separators;
    } else if (line.substr(0, 6) == "Point ") {
      FUZZ_CHECK(separators == 0);
      FUZZ_CHECK(IsVertexLine(line.substr(6)));
      FUZZ_CHECK(NextLine(mif) == "    Symbol (35,0,12)");
    } else if (line.substr(0, 6) == "Pline ") {
      FUZZ_CHECK(separators == 2);
      size_t n = Count(line.substr(6));
      FUZZ_CHECK(n >= 2);
      for (size_t i = 0; i < n; ++i) FUZZ_CHECK(IsVertexLine(NextLine(mif)));
      FUZZ_CHECK(NextLine(mif) == "    Pen (3,2,2105599)");
    } else if (line == "Region  1 ") {
      FUZZ_CHECK(separators == 3);
      std::string_view count = NextLine(mif);
      FUZZ_CHECK(count.substr(0, 2) == "  ");
      size_t n = Count(count.substr(2));
      FUZZ_CHECK(n >= 2);
      for (size_t i = 0; i < n; ++i) FUZZ_CHECK(IsVertexLine(NextLine(mif)));
      FUZZ_CHECK(NextLine(mif) == "    Pen (3,2,2105599)");
      FUZZ_CHECK(NextLine(mif) == "    Brush (2,16728128,16777215)");
    } else {
      FUZZ_CHECK(false && "a line that belongs to no record");
    }
  }
}

void CheckCoordinatesSearch(const std::vector<ElementMatch>& elements) {
  Pattern coordinates;
  coordinates.CompileElement("coordinates");
  std::vector<std::string> segmented;
  ForEachCoordinatesText(elements, coordinates, [&](std::string_view t) { segmented.emplace_back(t); });
  std::string joined = coordinates_internal::JoinGroups(elements, 0, 0);
  std::vector<ElementMatch> whole = coordinates.FindAllWithEngine(joined);
  FUZZ_CHECK(segmented.size() == whole.size());
  for (size_t i = 0; i < whole.size(); ++i) FUZZ_CHECK(segmented[i] == whole[i].group);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DocumentText document = MakeDocument(BytesAsAnsiText(std::string(reinterpret_cast<const char*>(data), size)));
  GeometryState state;
  std::string mif = BuildMifText(state, document);
  CheckRecords(mif);

  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (Encoding encoding : {Encoding::kAnsi, Encoding::kUtf8}) {
    GeometryState reference_state;
    std::string reference = BuildMifText(reference_state, MakeDocument(DecodeDocument(bytes, encoding)));
    std::string decoded, exported;
    ExportMif(SourceOf(bytes, encoding, &decoded), 1, [&](std::string_view piece) {
      exported.append(piece);
      return true;
    });
    FUZZ_CHECK(exported == reference);
  }

  for (GeometryKind kind : {GeometryKind::kPoint, GeometryKind::kLine, GeometryKind::kPolygon}) {
    CheckCoordinatesSearch(ElementSearch(state, kind, document).matches());
  }
  return 0;
}
