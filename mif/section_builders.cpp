#include "mif/section_builders.h"

#include "mif/coordinates.h"

const std::string_view MifHeader =
    "Version   300\r\n"
    "Charset \"WindowsSimpChinese\"\r\n"
    "Delimiter \",\"\r\n"
    "CoordSys Earth Projection 1, 0\r\n"
    "Columns 1\r\n"
    "  GOOD Char(10)\r\n"
    "Data\r\n";

const VertexSectionParams kPlineParams = {
    GeometryKind::kLine,
    "Pline ",
    "    Pen (3,2,2105599)",
};

const VertexSectionParams kRegionParams = {
    GeometryKind::kPolygon,
    "Region  1 \r\n  ",
    "    Pen (3,2,2105599)\r\n    Brush (2,16728128,16777215)",
};

namespace {

constexpr std::string_view kCoordinatesPattern = "<coordinates>(.*?)</coordinates>";

// Runs the element search, then calls visit(coordinates_text) for each coordinates element
// inside the elements found.
template <typename Visit>
void ForEachCoordinatesOf(GeometryState& state, GeometryKind kind, const DocumentText& document,
                          Visit&& visit) {
  const MatchCollection& elements = ElementSearch(state, kind, document);
  state.SharedPattern.Compile(kCoordinatesPattern);
  ForEachCoordinatesText(elements.matches(), state.SharedPattern, visit);
}

void AppendVertexLine(const TupleFields& f, std::string& out) {
  out.append(f.x);
  out += ' ';
  out.append(f.y);
  out.append("\r\n", 2);
}

}  // namespace

void AppendPointSection(GeometryState& state, const DocumentText& document, std::string& out) {
  ForEachCoordinatesOf(state, GeometryKind::kPoint, document, [&](std::string_view text) {
    TupleFields f;
    if (!UsableTuple(FirstTuple(text), &f)) return;
    out.append("Point ", 6);
    AppendVertexLine(f, out);
    out.append("    Symbol (35,0,12)\r\n");
  });
}

void AppendVertexSection(GeometryState& state, const DocumentText& document,
                         const VertexSectionParams& params, std::string& out) {
  ForEachCoordinatesOf(state, params.kind, document, [&](std::string_view text) {
    size_t vertices = 0;
    TupleFields f;
    ForEachTuple(text, [&](std::string_view tuple) { vertices += UsableTuple(tuple, &f); });
    if (vertices < 2) return;
    out.append("\r\n", 2);
    out.append(params.head);
    out.append(std::to_string(vertices));
    out.append("\r\n", 2);
    ForEachTuple(text, [&](std::string_view tuple) {
      if (UsableTuple(tuple, &f)) AppendVertexLine(f, out);
    });
    out.append(params.tail);
  });
}

std::string BuildPointSection(GeometryState& state, const DocumentText& document) {
  std::string section;
  AppendPointSection(state, document, section);
  return section;
}

std::string BuildVertexSection(GeometryState& state, const DocumentText& document,
                               const VertexSectionParams& params) {
  std::string section;
  AppendVertexSection(state, document, params, section);
  return section;
}

std::string BuildPlineSection(GeometryState& state, const DocumentText& document) {
  return BuildVertexSection(state, document, kPlineParams);
}

std::string BuildRegionSection(GeometryState& state, const DocumentText& document) {
  return BuildVertexSection(state, document, kRegionParams);
}
