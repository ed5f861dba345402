#include "mif/mif_export.h"

#include "mif/section_builders.h"

bool WriteMifText(GeometryState& state, const DocumentText& document, MifWriter& out) {
  out.Append(MifHeader);
  AppendPointSection(state, document, out);
  out.Append("\r\n");
  AppendVertexSection(state, document, kPlineParams, out);
  out.Append("\r\n");
  AppendVertexSection(state, document, kRegionParams, out);
  return out.Finish();
}

std::string BuildMifText(GeometryState& state, const DocumentText& document) {
  MifWriter mif;
  WriteMifText(state, document, mif);
  return mif.TakeText();
}
