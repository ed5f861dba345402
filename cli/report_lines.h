#pragma once

#include <string>
#include <vector>

#include "features/conversion_options.h"
#include "features/feature_export.h"
#include "features/network_links.h"

// The warnings of a conversion that was written, one line each, in English (UTF-8): what was
// left out, cut or dropped, and what the file needs of MapInfo. Each is said after the
// input's name: "geovant: a.kml: ...".
std::vector<std::string> ReportLines(const ConversionReport& report, const ConversionOptions& options);

// What --links did not follow, one line for each reason, each naming at most ten links and
// counting the rest: "3 NetworkLinks lead outside the archive and were not followed: ...".
std::vector<std::string> LinkLines(const FollowedLinks& followed);

// Why a projected conversion wrote nothing: its data lie in no zone of the coordinate system.
std::string RefusedZoneLine(const ConversionReport& report, const CoordinateSystem& crs);

// GBK text as it may stand in a message: UTF-8, with control characters as \xHH.
std::string Printable(std::string_view gbk);
