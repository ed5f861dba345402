#include "mif/mif_export.h"

#include "mif/section_builders.h"

std::string BuildMifText(GeometryState& state, const DocumentText& document) {
  MifWriter out;
  out.Append(MifHeader);
  AppendPointSection(state, document, out);
  out.Append("\r\n");
  AppendVertexSection(state, document, kPlineParams, out);
  out.Append("\r\n");
  AppendVertexSection(state, document, kRegionParams, out);
  return out.TakeText();
}
