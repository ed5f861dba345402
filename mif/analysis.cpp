#include "mif/analysis.h"

namespace {

const char* MessageSuffix(GeometryKind kind) {
  switch (kind) {
    case GeometryKind::kPoint: return "个离散的点";
    case GeometryKind::kLine: return "条线";
    case GeometryKind::kPolygon: return "个多边形";
  }
  return "";
}

}  // namespace

AnalysisReport Analyse(GeometryState& state, GeometryKind kind, const DocumentText& document) {
  const MatchCollection& found = ElementSearch(state, kind, document);
  AnalysisReport report;
  report.count = found.size();
  size_t total = 0;
  for (const ElementMatch& m : found.matches()) total += m.whole.size() + 2;
  report.result_text.reserve(total);
  for (const ElementMatch& m : found.matches()) {
    report.result_text += kind == GeometryKind::kPoint ? m.whole : m.group;
    report.result_text += "\r\n";
  }
  report.message = "分析完毕，共有" + std::to_string(report.count) + MessageSuffix(kind);
  return report;
}
