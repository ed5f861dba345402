#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>
#include <cstdint>

// KMZ: a ZIP archive that holds a KML document, as Google Earth saves it.

// True when `bytes` begin with a ZIP signature ("PK\3\4", "PK\5\6"...) or end with a ZIP
// end-of-central-directory record: the file is a KMZ, whatever its name.
bool IsKmz(std::string_view bytes);

enum class KmzError {
  kNone,
  kDamaged,        // the central directory or a local header is not where and what it should be,
                   // or the archive can be read in two ways
  kNoKml,          // no entry whose name ends in ".kml"
  kEncrypted,      // the KML entry is encrypted
  kZip64,          // the archive or the entry needs ZIP64
  kMethod,         // compressed with a method other than stored (0) or deflated (8)
  kTooLarge,       // the entry inflates beyond its declared size, or to less
  kCrc,            // the entry's bytes do not have its CRC-32
  kOutOfMemory,
};

// The KML document of a KMZ archive: the entry "doc.kml" at the archive's root when there is
// one, otherwise the first entry, in the central directory's order, whose name ends in
// ".kml" (in any letter case). Every offset is checked against the archive's size; nothing
// of a damaged, encrypted or unsupported entry is given.
// `entry_name`, when given, receives the name of the entry read.
KmzError ExtractKml(std::string_view archive, std::string* kml, std::string* entry_name = nullptr);

// The entry of the archive named exactly `name` ("files/a.kml"), checked as ExtractKml checks
// the KML document; kNoKml when there is none.
KmzError ExtractEntry(std::string_view archive, std::string_view name, std::string* bytes,
                      std::string* entry_name = nullptr);

// An archive's central directory, read once, for reading many of its entries.
struct KmzEntry {
  std::string_view name;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t crc = 0;
  uint32_t compressed = 0;
  uint32_t size = 0;
  uint32_t local_offset = 0;  // where its data lie: names that share them are one entry
};

class KmzArchive {
 public:
  // Reads the directory of `archive`, which must outlive this.
  KmzError Open(std::string_view archive);
  // The entry named exactly `name`; null for none.
  const KmzEntry* Find(std::string_view name) const;
  // Its bytes, checked as ExtractKml checks the KML document.
  KmzError Read(const KmzEntry& entry, std::string* bytes) const;

 private:
  std::string_view zip_;
  std::vector<KmzEntry> entries_;
  std::unordered_map<std::string_view, size_t> by_name_;  // the first entry of each name
};

// The KML document that a file's `bytes` hold: the bytes themselves, or, for a KMZ archive,
// its KML document, unpacked into `unpacked`.
KmzError KmlBytesOf(std::string_view bytes, std::string* unpacked, std::string_view* kml);

// What went wrong, for the command line: "the KMZ holds no .kml file".
const char* KmzErrorText(KmzError error);
