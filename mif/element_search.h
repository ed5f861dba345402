#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mif/pattern.h"

// The document text as one search saw it. Collections keep it alive so that their matches
// stay valid after the document box has been edited or reloaded.
using DocumentText = std::shared_ptr<const std::string>;

DocumentText MakeDocument(std::string text);

enum class GeometryKind { kPoint, kLine, kPolygon };

// The matches of the most recent element search of one kind, in document order.
class MatchCollection {
 public:
  void Replace(DocumentText searched, std::vector<ElementMatch> matches);
  const std::vector<ElementMatch>& matches() const { return matches_; }
  size_t size() const { return matches_.size(); }
  bool empty() const { return matches_.empty(); }

 private:
  DocumentText searched_;
  std::vector<ElementMatch> matches_;
};

// The state that the analysis and the export share: one pattern object and one collection
// per kind of geometry. The window owns one for its whole run; every command-line conversion
// and every test has its own.
struct GeometryState {
  Pattern SharedPattern;
  MatchCollection PointMatches;
  MatchCollection LineMatches;
  MatchCollection PolygonMatches;

  MatchCollection& Matches(GeometryKind kind);
};

// "Point", "LineString" or "LinearRing".
const char* ElementName(GeometryKind kind);

// The kind's element pattern: its elements with or without a prefix and attributes
// (mif/element_tags.h), "<Point>...</Point>", "<Point id=\"p1\">...</kml:Point>" alike.
std::string ElementPattern(GeometryKind kind);

// Compiles the kind's element pattern into SharedPattern and replaces the kind's collection
// with its matches in `document`.
const MatchCollection& ElementSearch(GeometryState& state, GeometryKind kind,
                                     const DocumentText& document);
