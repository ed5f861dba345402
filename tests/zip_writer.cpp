#include "tests/zip_writer.h"

#include <zlib.h>

namespace {

void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

std::string Deflate(const std::string& data) {
  z_stream stream = {};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, data.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

}  // namespace

std::string MakeZip(const std::vector<ZipEntry>& entries) {
  std::string zip, directory;
  uint32_t records = 0;
  for (const ZipEntry& e : entries) {
    std::string stored = e.deflate ? Deflate(e.data) : e.data;
    uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(e.data.data()),
                                               static_cast<uInt>(e.data.size()))) ^ e.crc_xor;
    uint32_t size = e.declared_size >= 0 ? static_cast<uint32_t>(e.declared_size) : static_cast<uint32_t>(e.data.size());
    uint16_t method = static_cast<uint16_t>(e.method >= 0 ? e.method : e.deflate ? 8 : 0);
    uint16_t flags = static_cast<uint16_t>(e.extra_flags | (e.descriptor ? 8 : 0));
    uint32_t offset = static_cast<uint32_t>(zip.size());
    Put32(zip, 0x04034b50);
    Put16(zip, 20);
    Put16(zip, flags);
    Put16(zip, method);
    Put32(zip, 0);  // time and date
    Put32(zip, e.descriptor ? 0 : crc);
    Put32(zip, e.descriptor ? 0 : static_cast<uint32_t>(stored.size()));
    Put32(zip, e.descriptor ? 0 : size);
    Put16(zip, static_cast<uint32_t>(e.name.size()));
    Put16(zip, 0);
    zip += e.name;
    zip += stored;
    if (e.descriptor) {
      Put32(zip, 0x08074b50);
      Put32(zip, crc);
      Put32(zip, static_cast<uint32_t>(stored.size()));
      Put32(zip, size);
    }
    for (size_t n = 0; n <= e.also_named.size(); ++n) {
      const std::string& name = n == 0 ? e.name : e.also_named[n - 1];
      ++records;
      Put32(directory, 0x02014b50);
      Put16(directory, 20);
      Put16(directory, 20);
      Put16(directory, flags);
      Put16(directory, method);
      Put32(directory, 0);
      Put32(directory, crc);
      Put32(directory, static_cast<uint32_t>(stored.size()));
      Put32(directory, size);
      Put16(directory, static_cast<uint32_t>(name.size()));
      Put32(directory, 0);  // extra and comment lengths
      Put32(directory, 0);  // disk, internal attributes
      Put32(directory, 0);  // external attributes
      Put32(directory, offset);
      directory += name;
    }
  }
  uint32_t directory_offset = static_cast<uint32_t>(zip.size());
  zip += directory;
  Put32(zip, 0x06054b50);
  Put32(zip, 0);
  Put16(zip, records);
  Put16(zip, records);
  Put32(zip, static_cast<uint32_t>(directory.size()));
  Put32(zip, directory_offset);
  Put16(zip, 0);
  return zip;
}
