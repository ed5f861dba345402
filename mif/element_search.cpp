#include "mif/element_search.h"

#include "mif/element_tags.h"

DocumentText MakeDocument(std::string text) {
  return std::make_shared<const std::string>(std::move(text));
}

void MatchCollection::Replace(DocumentText searched, std::vector<ElementMatch> matches) {
  matches_ = std::move(matches);
  searched_ = std::move(searched);
}

MatchCollection& GeometryState::Matches(GeometryKind kind) {
  switch (kind) {
    case GeometryKind::kPoint: return PointMatches;
    case GeometryKind::kLine: return LineMatches;
    case GeometryKind::kPolygon: return PolygonMatches;
  }
  return PointMatches;
}

const char* ElementName(GeometryKind kind) {
  switch (kind) {
    case GeometryKind::kPoint: return "Point";
    case GeometryKind::kLine: return "LineString";
    case GeometryKind::kPolygon: return "LinearRing";
  }
  return "";
}

std::string ElementPattern(GeometryKind kind) { return ElementPatternSource(ElementName(kind)); }

const MatchCollection& ElementSearch(GeometryState& state, GeometryKind kind,
                                     const DocumentText& document) {
  state.SharedPattern.CompileElement(ElementName(kind));
  static const std::string kEmpty;
  const std::string& text = document ? *document : kEmpty;
  MatchCollection& collection = state.Matches(kind);
  collection.Replace(document, state.SharedPattern.FindAll(text));
  return collection;
}
