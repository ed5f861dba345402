#include "mif/mif_export.h"

#include "mif/section_builders.h"

std::string BuildMifText(GeometryState& state, const DocumentText& document) {
  std::string mif;
  // Records are never much longer than the coordinates they come from. Reserving generously
  // costs address space only, while growing by doubling would briefly hold two copies.
  mif.reserve(MifHeader.size() + 4 + (document ? document->size() * 2 : 0));
  mif.append(MifHeader);
  AppendPointSection(state, document, mif);
  mif.append("\r\n", 2);
  AppendVertexSection(state, document, kPlineParams, mif);
  mif.append("\r\n", 2);
  AppendVertexSection(state, document, kRegionParams, mif);
  return mif;
}
