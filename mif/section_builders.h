#pragma once

#include <string>
#include <string_view>

#include "mif/element_search.h"
#include "mif/mif_writer.h"

// The fixed 126-byte head of every MIF file: seven lines, each ending with CR LF.
extern const std::string_view MifHeader;

// The head with another version, the CoordSys line `coord_sys` (without its line end) and,
// when given, the columns ("Columns 2\r\n  Name Char(5)\r\n  ...") in place of GOOD's.
std::string MifHeaderOf(int version, std::string_view coord_sys, std::string_view columns = {});

// Parameters of the shared record algorithm of polylines and regions.
struct VertexSectionParams {
  GeometryKind kind;      // which elements, and so which collection
  std::string_view head;  // written after the record's leading CR LF, before the count
  std::string_view tail;  // written after the vertex lines, without a CR LF after it
  size_t fewest;          // the fewest vertices of a record: 2 for a line, 3 for a ring
};

extern const VertexSectionParams kPlineParams;
extern const VertexSectionParams kRegionParams;

// Each builder runs the element search of its kind on `document` (leaving the kind's
// collection and SharedPattern as the search and the coordinates search left them) and
// appends one record per usable coordinates element to `out`.
//
// A vertex is a usable tuple whose two fields are numbers (IsVertex): MapInfo reads nothing
// else as a coordinate.
// Point: the first tuple of the coordinates text, when it is a vertex, gives
//   "Point 116.1 39.9\r\n    Symbol (35,0,12)\r\n".
// Pline and Region: the vertices of the text; two at least make a polyline, three a region:
//   "\r\nPline 2\r\n116.1 39.9\r\n116.2 39.8\r\n    Pen (3,2,2105599)".
// `largest`, when given, is raised to the vertex count of the largest record written.
void AppendPointSection(GeometryState& state, const DocumentText& document, MifWriter& out);
void AppendVertexSection(GeometryState& state, const DocumentText& document,
                         const VertexSectionParams& params, MifWriter& out, size_t* largest = nullptr);

std::string BuildPointSection(GeometryState& state, const DocumentText& document);
std::string BuildVertexSection(GeometryState& state, const DocumentText& document,
                               const VertexSectionParams& params);
std::string BuildPlineSection(GeometryState& state, const DocumentText& document);
std::string BuildRegionSection(GeometryState& state, const DocumentText& document);
