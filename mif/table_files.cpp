#include "mif/table_files.h"

#include "document/file_io.h"
#include "document/file_names.h"

std::string MidPathFor(const std::string& mif_path) { return ReplaceExtension(mif_path, ".mid"); }

std::string StaleMidBeside(const std::string& mif_path) {
  if (KindOf(mif_path) != PathKind::kFile) return "";
  std::string mid = MidPathFor(mif_path);
  return KindOf(mid) == PathKind::kFile ? mid : "";
}
