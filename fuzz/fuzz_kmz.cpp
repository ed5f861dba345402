// The KMZ reader on any bytes: it never reads outside them, and what it gives is whole.
#include <cstdint>
#include <string>

#include "document/kmz.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string kml;
  KmzError error = ExtractKml(bytes, &kml);
  FUZZ_CHECK(error == KmzError::kNone || kml.empty());
  std::string_view document;
  KmlBytesOf(bytes, &kml, &document);
  FUZZ_CHECK(IsKmz(bytes) || document == bytes);
  return 0;
}
