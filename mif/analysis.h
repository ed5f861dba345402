#pragma once

#include <string>

#include "mif/element_search.h"

// What one analysis command reports: the count, the message box text and the result box text.
struct AnalysisReport {
  size_t count = 0;
  std::string message;      // "分析完毕，共有12个离散的点"
  std::string result_text;  // one listed text per match, each followed by CR LF
};

// Runs the element search of `kind` and builds its report. Points list the whole text of each
// match, lines and polygons only the text between the tags.
AnalysisReport Analyse(GeometryState& state, GeometryKind kind, const DocumentText& document);
