#pragma once

#include <string>

#include "features/kml_features.h"

// The MIF clauses of a KML style. KML colours are aabbggrr in hexadecimal, MapInfo's are
// R * 65536 + G * 256 + B. What the style does not set (or a null style) keeps the fixed
// clauses of records without styles.
//   LineStyle: Pen (w,2,rgb), w the width rounded and held to 1..7; pattern 1 (no line) for
//              an alpha of 00, and for a region whose PolyStyle says <outline>0</outline>.
//   PolyStyle: Brush (2,rgb), with no background colour; <fill>0</fill> and an alpha of 00
//              give Brush (1,0).
//   IconStyle: Symbol (35,rgb,size), size the scale times 12, rounded and held to 1..48.

std::string SymbolClause(const KmlStyle* style);  // "    Symbol (35,255,18)\r\n"
std::string PlineClause(const KmlStyle* style);   // "    Pen (3,2,0)"
std::string RegionClause(const KmlStyle* style);  // "    Pen (3,2,0)\r\n    Brush (2,255)"
