#include "mif/element_search.h"

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

const char* ElementPattern(GeometryKind kind) {
  switch (kind) {
    case GeometryKind::kPoint: return "<Point>(.*?)</Point>";
    case GeometryKind::kLine: return "<LineString>(.*?)</LineString>";
    case GeometryKind::kPolygon: return "<LinearRing>(.*?)</LinearRing>";
  }
  return "";
}

const MatchCollection& ElementSearch(GeometryState& state, GeometryKind kind,
                                     const DocumentText& document) {
  state.SharedPattern.Compile(ElementPattern(kind));
  static const std::string kEmpty;
  const std::string& text = document ? *document : kEmpty;
  MatchCollection& collection = state.Matches(kind);
  collection.Replace(document, state.SharedPattern.FindAll(text));
  return collection;
}
