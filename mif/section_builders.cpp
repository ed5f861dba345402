#include "mif/section_builders.h"

#include <algorithm>
#include <vector>

#include "mif/coordinates.h"

const std::string_view MifHeader =
    "Version   300\r\n"
    "Charset \"WindowsSimpChinese\"\r\n"
    "Delimiter \",\"\r\n"
    "CoordSys Earth Projection 1, 0\r\n"
    "Columns 1\r\n"
    "  GOOD Char(10)\r\n"
    "Data\r\n";

std::string MifHeaderOf(int version, std::string_view coord_sys, std::string_view columns) {
  std::string header(MifHeader);
  header.replace(header.find("300"), 3, std::to_string(version));
  const size_t line = header.find("CoordSys");
  header.replace(line, header.find("\r\n", line) - line, coord_sys);
  if (columns.empty()) return header;
  const size_t first = header.find("Columns 1\r\n");
  return header.replace(first, header.find("Data\r\n") - first, columns);
}

const VertexSectionParams kPlineParams = {
    GeometryKind::kLine,
    "Pline ",
    "    Pen (3,2,2105599)",
    2,
};

const VertexSectionParams kRegionParams = {
    GeometryKind::kPolygon,
    "Region  1 \r\n  ",
    "    Pen (3,2,2105599)\r\n    Brush (2,16728128,16777215)",
    3,
};

namespace {

// Runs the element search, then calls visit(coordinates_text) for each coordinates element
// inside the elements found.
template <typename Visit>
void ForEachCoordinatesOf(GeometryState& state, GeometryKind kind, const DocumentText& document,
                          Visit&& visit) {
  const MatchCollection& elements = ElementSearch(state, kind, document);
  state.SharedPattern.CompileElement("coordinates");
  ForEachCoordinatesText(elements.matches(), state.SharedPattern, visit);
}

// field 1, one space, field 2, CR LF
char* PutVertexLine(char* p, const TupleFields& f) {
  p = Put(p, f.x);
  *p++ = ' ';
  p = Put(p, f.y);
  *p++ = '\r';
  *p++ = '\n';
  return p;
}

}  // namespace

void AppendPointSection(GeometryState& state, const DocumentText& document, MifWriter& out) {
  static constexpr std::string_view kHead = "Point ";
  static constexpr std::string_view kTail = "    Symbol (35,0,12)\r\n";
  ForEachCoordinatesOf(state, GeometryKind::kPoint, document, [&](std::string_view text) {
    TupleFields f;
    if (!UsableTuple(FirstTuple(text), &f) || !IsVertex(f)) return;
    char* p = out.Claim(kHead.size() + f.x.size() + f.y.size() + 3 + kTail.size());
    p = Put(p, kHead);
    p = PutVertexLine(p, f);
    out.Advance(Put(p, kTail));
  });
}

void AppendVertexSection(GeometryState& state, const DocumentText& document,
                         const VertexSectionParams& params, MifWriter& out, size_t* largest) {
  std::vector<TupleFields> vertices;  // the count goes before the vertices, so they wait here
  ForEachCoordinatesOf(state, params.kind, document, [&](std::string_view text) {
    vertices.clear();
    size_t field_bytes = ForEachVertex(text, [&](const TupleFields& f) { vertices.push_back(f); });
    if (vertices.size() < params.fewest) return;
    if (largest) *largest = std::max(*largest, vertices.size());
    std::string count = std::to_string(vertices.size());
    size_t size = 2 + params.head.size() + count.size() + 2 + field_bytes + 3 * vertices.size() +
                  params.tail.size();
    char* p = out.Claim(size);
    p = Put(p, "\r\n");
    p = Put(p, params.head);
    p = Put(p, count);
    p = Put(p, "\r\n");
    for (const TupleFields& f : vertices) p = PutVertexLine(p, f);
    out.Advance(Put(p, params.tail));
  });
}

std::string BuildPointSection(GeometryState& state, const DocumentText& document) {
  MifWriter section;
  AppendPointSection(state, document, section);
  return section.TakeText();
}

std::string BuildVertexSection(GeometryState& state, const DocumentText& document,
                               const VertexSectionParams& params) {
  MifWriter section;
  AppendVertexSection(state, document, params, section);
  return section.TakeText();
}

std::string BuildPlineSection(GeometryState& state, const DocumentText& document) {
  return BuildVertexSection(state, document, kPlineParams);
}

std::string BuildRegionSection(GeometryState& state, const DocumentText& document) {
  return BuildVertexSection(state, document, kRegionParams);
}
