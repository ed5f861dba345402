#pragma once

#include <string>

#include "mif/element_search.h"

// The whole MIF text of a document: the header, the point section, CR LF, the polyline
// section, CR LF, the region section. A document without geometry gives the header and
// CR LF CR LF (130 bytes). The header says the least version that holds every record.
std::string BuildMifText(GeometryState& state, const DocumentText& document);
