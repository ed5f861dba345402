// The three analyses of any document: the count, the message and the listed texts agree.
#include <cstdint>
#include <string>

#include "document/text_io.h"
#include "fuzz/fuzz_check.h"
#include "mif/analysis.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DocumentText document = MakeDocument(BytesAsAnsiText(std::string(reinterpret_cast<const char*>(data), size)));
  GeometryState state;
  for (GeometryKind kind : {GeometryKind::kPoint, GeometryKind::kLine, GeometryKind::kPolygon}) {
    AnalysisReport report = Analyse(state, kind, document);
    FUZZ_CHECK(report.count == state.Matches(kind).size());
    FUZZ_CHECK(report.message.find(std::to_string(report.count)) != std::string::npos);
    std::string listed;
    for (const ElementMatch& m : state.Matches(kind).matches()) {
      FUZZ_CHECK(m.whole.size() >= m.group.size());
      listed.append(kind == GeometryKind::kPoint ? m.whole : m.group).append("\r\n");
    }
    FUZZ_CHECK(listed == report.result_text);
    FUZZ_CHECK(report.result_text.size() <= document->size() + 2 * report.count);
  }
  return 0;
}
