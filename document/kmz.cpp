#include "document/kmz.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <new>

namespace {

constexpr uint32_t kLocalHeader = 0x04034b50;
constexpr uint32_t kCentralHeader = 0x02014b50;
constexpr uint32_t kEndOfDirectory = 0x06054b50;
constexpr uint32_t kZip64Locator = 0x07064b50;
constexpr size_t kEndOfDirectorySize = 22;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kLocalHeaderSize = 30;

// Little-endian fields, read only after the caller has checked the bounds.
uint16_t U16(std::string_view s, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8);
}
uint32_t U32(std::string_view s, size_t at) { return U16(s, at) | static_cast<uint32_t>(U16(s, at + 2)) << 16; }

bool Fits(std::string_view s, size_t at, size_t n) { return at <= s.size() && n <= s.size() - at; }

using Entry = KmzEntry;

bool EndsWithKml(std::string_view name) {
  if (name.size() < 4) return false;
  std::string_view end = name.substr(name.size() - 4);
  return end[0] == '.' && (end[1] | 0x20) == 'k' && (end[2] | 0x20) == 'm' && (end[3] | 0x20) == 'l';
}

// The end-of-central-directory record, in the final 64 KB + 22 bytes: the last one whose
// comment ends the file, or else (bytes were added after the archive) the last one there is.
// Another record inside the comment of the one found makes the archive ambiguous: readers
// would not agree on its content.
struct EndRecord {
  size_t at = std::string_view::npos;
  bool exact = false;      // its comment ends the file
  bool ambiguous = false;  // another record follows it
};

EndRecord FindEndOfDirectory(std::string_view zip) {
  EndRecord found;
  if (zip.size() < kEndOfDirectorySize) return found;
  size_t lowest = zip.size() > 0xFFFF + kEndOfDirectorySize ? zip.size() - 0xFFFF - kEndOfDirectorySize : 0;
  size_t last = std::string_view::npos;
  for (size_t at = zip.size() - kEndOfDirectorySize + 1; at-- > lowest;) {
    if (U32(zip, at) != kEndOfDirectory) continue;
    if (last == std::string_view::npos) last = at;
    if (at + kEndOfDirectorySize + U16(zip, at + 20) == zip.size()) return {at, true, at != last};
  }
  found.at = last;
  return found;
}

// Calls visit(entry) for each entry of the central directory, in order, until it returns true.
template <typename Visit>
KmzError ForEachEntry(std::string_view zip, Visit visit) {
  EndRecord record = FindEndOfDirectory(zip);
  if (record.at == std::string_view::npos || record.ambiguous) return KmzError::kDamaged;
  const size_t end = record.at;
  if (end >= 20 && U32(zip, end - 20) == kZip64Locator) return KmzError::kZip64;
  uint16_t entries = U16(zip, end + 10);
  uint32_t directory_size = U32(zip, end + 12);
  uint32_t directory_offset = U32(zip, end + 16);
  // Values that only a ZIP64 archive has, without the ZIP64 record that such an archive has.
  if (entries == 0xFFFF || directory_size == 0xFFFFFFFF || directory_offset == 0xFFFFFFFF) return KmzError::kDamaged;
  if (!Fits(zip, directory_offset, directory_size)) return KmzError::kDamaged;
  size_t at = directory_offset;
  for (uint16_t i = 0; i < entries; ++i) {
    if (!Fits(zip, at, kCentralHeaderSize) || U32(zip, at) != kCentralHeader) return KmzError::kDamaged;
    Entry entry;
    entry.flags = U16(zip, at + 8);
    entry.method = U16(zip, at + 10);
    entry.crc = U32(zip, at + 16);
    entry.compressed = U32(zip, at + 20);
    entry.size = U32(zip, at + 24);
    size_t name_length = U16(zip, at + 28), extra = U16(zip, at + 30), comment = U16(zip, at + 32);
    entry.local_offset = U32(zip, at + 42);
    if (!Fits(zip, at + kCentralHeaderSize, name_length + extra + comment)) return KmzError::kDamaged;
    entry.name = zip.substr(at + kCentralHeaderSize, name_length);
    at += kCentralHeaderSize + name_length + extra + comment;
    if (visit(entry)) break;
  }
  return KmzError::kNone;
}

// The entry that `wanted` names: "" for the KML document (doc.kml, else the first .kml).
KmzError ChooseEntry(std::string_view zip, std::string_view wanted, Entry* chosen) {
  bool found = false;
  KmzError error = ForEachEntry(zip, [&](const Entry& entry) {
    if (!wanted.empty() ? entry.name == wanted : entry.name == "doc.kml") {
      *chosen = entry;
      return found = true;
    }
    if (wanted.empty() && !found && EndsWithKml(entry.name)) {
      *chosen = entry;
      found = true;
    }
    return false;
  });
  if (error != KmzError::kNone) return error;
  return found ? KmzError::kNone : KmzError::kNoKml;
}

// Inflates raw deflate data into exactly `size` bytes. The output grows with what inflate
// makes, never more than one byte beyond the declared size: a declared size is only a claim,
// and random bytes that claim gigabytes are damaged long before memory for them is needed.
KmzError Inflate(std::string_view data, uint32_t size, std::string* out) {
  z_stream stream = {};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return KmzError::kOutOfMemory;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  const size_t most = size_t{size} + 1;  // one byte more tells whether the entry goes on
  out->clear();
  int status = Z_OK;
  while (status == Z_OK) {
    if (stream.total_out == out->size()) {
      if (out->size() == most) break;
      const size_t first = std::max<size_t>(size_t{64} << 10, 4 * data.size());
      out->resize(std::min(most, out->empty() ? first : 2 * out->size()));
    }
    stream.next_out = reinterpret_cast<Bytef*>(out->data() + stream.total_out);
    stream.avail_out = static_cast<uInt>(std::min<size_t>(out->size() - stream.total_out, 1u << 30));
    status = inflate(&stream, Z_NO_FLUSH);
    // No progress with room to spare: the data ended before the stream did.
    if (status == Z_BUF_ERROR && stream.avail_out > 0) break;
    if (status == Z_BUF_ERROR) status = Z_OK;
  }
  const size_t produced = stream.total_out;
  inflateEnd(&stream);
  out->resize(std::min(produced, out->size()));
  if (produced > size) return KmzError::kTooLarge;
  if (status == Z_MEM_ERROR) return KmzError::kOutOfMemory;
  if (status != Z_STREAM_END) return KmzError::kDamaged;
  if (produced != size) return KmzError::kTooLarge;
  return KmzError::kNone;
}

// The bytes of `entry`, checked.
KmzError ReadEntry(std::string_view zip, const Entry& entry, std::string* kml) {
  kml->clear();
  try {
    KmzError error = KmzError::kNone;
    if (entry.flags & 1) return KmzError::kEncrypted;
    if (entry.size == 0xFFFFFFFF || entry.compressed == 0xFFFFFFFF || entry.local_offset == 0xFFFFFFFF) {
      return KmzError::kZip64;
    }
    if (entry.method != 0 && entry.method != 8) return KmzError::kMethod;
    size_t at = entry.local_offset;
    if (!Fits(zip, at, kLocalHeaderSize) || U32(zip, at) != kLocalHeader) return KmzError::kDamaged;
    size_t data = at + kLocalHeaderSize + U16(zip, at + 26) + U16(zip, at + 28);
    // The sizes come from the central directory: with a data descriptor the local header's
    // are zero.
    if (!Fits(zip, data, entry.compressed)) return KmzError::kDamaged;
    std::string_view bytes = zip.substr(data, entry.compressed);
    // Deflate makes at most 1032 bytes of each: a larger declared size is not the entry's, and
    // no memory is taken for it.
    if (entry.size > uint64_t{entry.compressed} * 1032 + 1024) return KmzError::kTooLarge;
    if (entry.method == 0) {
      if (entry.compressed != entry.size) return KmzError::kTooLarge;
      kml->assign(bytes);
    } else if ((error = Inflate(bytes, entry.size, kml)) != KmzError::kNone) {
      kml->clear();
      return error;
    }
    if (crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(kml->data()), static_cast<uInt>(kml->size())) !=
        entry.crc) {
      kml->clear();
      return KmzError::kCrc;
    }
    return KmzError::kNone;
  } catch (const std::bad_alloc&) {
    kml->clear();
    return KmzError::kOutOfMemory;
  }
}

}  // namespace

bool IsKmz(std::string_view bytes) {
  // Any of ZIP's signatures at the start, or an end record that ends the file: an archive whose
  // first bytes were damaged, or one with no entries, is still an archive, to be reported so.
  if (bytes.size() >= 4 && bytes[0] == 'P' && bytes[1] == 'K') {
    for (std::string_view signature : {"\1\2", "\3\4", "\5\6", "\6\6", "\6\7", "\7\x08", "00"}) {
      if (bytes.substr(2, 2) == signature) return true;
    }
  }
  return FindEndOfDirectory(bytes).exact;
}

KmzError ExtractKml(std::string_view zip, std::string* kml, std::string* entry_name) {
  return ExtractEntry(zip, "", kml, entry_name);
}

KmzError ExtractEntry(std::string_view zip, std::string_view name, std::string* kml, std::string* entry_name) {
  kml->clear();
  Entry entry;
  KmzError error = ChooseEntry(zip, name, &entry);
  if (error != KmzError::kNone) return error;
  if (entry_name) entry_name->assign(entry.name);
  return ReadEntry(zip, entry, kml);
}

KmzError KmzArchive::Open(std::string_view archive) {
  zip_ = archive;
  entries_.clear();
  by_name_.clear();
  try {
    return ForEachEntry(archive, [&](const Entry& entry) {
      by_name_.emplace(entry.name, entries_.size());
      entries_.push_back(entry);
      return false;
    });
  } catch (const std::bad_alloc&) {
    return KmzError::kOutOfMemory;
  }
}

const KmzEntry* KmzArchive::Find(std::string_view name) const {
  auto it = by_name_.find(name);
  return it == by_name_.end() ? nullptr : &entries_[it->second];
}

KmzError KmzArchive::Read(const KmzEntry& entry, std::string* bytes) const { return ReadEntry(zip_, entry, bytes); }

KmzError KmlBytesOf(std::string_view bytes, std::string* unpacked, std::string_view* kml) {
  *kml = bytes;
  if (!IsKmz(bytes)) return KmzError::kNone;
  KmzError error = ExtractKml(bytes, unpacked);
  *kml = *unpacked;
  return error;
}

const char* KmzErrorText(KmzError error) {
  switch (error) {
    case KmzError::kNone: return "";
    case KmzError::kDamaged: return "the KMZ archive is damaged";
    case KmzError::kNoKml: return "the KMZ archive holds no .kml file";
    case KmzError::kEncrypted: return "the KML file in the KMZ archive is encrypted";
    case KmzError::kZip64: return "the KMZ archive is a ZIP64 archive, which is not supported";
    case KmzError::kMethod: return "the KML file in the KMZ archive is compressed with an unsupported method";
    case KmzError::kTooLarge: return "the KML file in the KMZ archive is not the size the archive declares";
    case KmzError::kCrc: return "the KML file in the KMZ archive is damaged (CRC mismatch)";
    case KmzError::kOutOfMemory: return "not enough memory to unpack the KMZ archive";
  }
  return "";
}
