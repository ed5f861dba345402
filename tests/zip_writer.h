#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ZIP archives as KMZ writers make them, for the tests: stored or deflated entries, with or
// without a data descriptor, and ways to make them wrong.
struct ZipEntry {
  std::string name;
  std::string data;
  bool deflate = true;
  bool descriptor = false;      // sizes and CRC after the data, zero in the local header
  uint16_t extra_flags = 0;     // e.g. 1: encrypted
  int method = -1;              // -1: 0 or 8 as `deflate` says
  int64_t declared_size = -1;   // -1: the real size
  uint32_t crc_xor = 0;         // a CRC that does not match
  std::vector<std::string> also_named = {};  // more names in the central directory for the same data
};

std::string MakeZip(const std::vector<ZipEntry>& entries);
