#include "mif/mif_export.h"

#include "mif/mif_version.h"
#include "mif/section_builders.h"

std::string BuildMifText(GeometryState& state, const DocumentText& document) {
  MifWriter out;
  out.Append(MifHeader);
  AppendPointSection(state, document, out);
  out.Append("\r\n");
  size_t largest = 0;
  AppendVertexSection(state, document, kPlineParams, out, &largest);
  out.Append("\r\n");
  AppendVertexSection(state, document, kRegionParams, out, &largest);
  std::string text = out.TakeText();
  // The version is known once the records are: the same three digits of "Version   300".
  const int version = VersionHolding(false, 1, largest);
  if (version != 300) text.replace(MifHeader.find("300"), 3, std::to_string(version));
  return text;
}
