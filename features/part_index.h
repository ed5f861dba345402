#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The parts of geometry that the objects of a conversion are made of, found in a first reading
// of the document and kept, in the order they are written, for the second: where each part's
// text lies, and the placemark and folder it belongs to. Nothing else of a placemark is kept in
// memory: its values and style wait in a spool (features/row_spool.h), found by where its
// opening tag begins.

// A point, line or ring is a coordinates text; a polygon or track the content of its Polygon
// or gx:Track element, whose rings and coordinates are found where it is written. kNone stands
// for a placemark without parts, which --empty-rows gives a row.
enum class PartType : uint8_t { kPoint, kLine, kRing, kTrack, kPolygon, kNone };

// The section of the MIF file that a part's object goes to: points, polylines, regions.
inline size_t SectionOf(PartType type) {
  switch (type) {
    case PartType::kPoint: return 0;
    case PartType::kLine:
    case PartType::kTrack: return 1;
    default: return 2;
  }
}

// Bit-fields of different types share their bytes as GCC lays them out; MinGW follows the
// Microsoft layout unless told otherwise, which would give each its own.
#if defined(_WIN32) && defined(__GNUC__) && !defined(__clang__)
#define GEOVANT_PACKED_FIELDS __attribute__((gcc_struct))
#else
#define GEOVANT_PACKED_FIELDS
#endif

struct GEOVANT_PACKED_FIELDS IndexedPart {
  static constexpr uint32_t kNoPlacemark = UINT32_MAX;

  IndexedPart() : begin(0), type(PartType::kNone), joined(0) {}
  IndexedPart(uint64_t begin, uint64_t end, uint32_t placemark, int32_t folder, PartType type, uint8_t joined)
      : begin(begin), type(type), joined(joined), end(end), placemark(placemark), folder(folder) {}

  uint64_t begin : 48;  // its text, in the document or in a joined text
  PartType type : 8;
  uint8_t joined : 8;   // 0: its text lies in the document; k: in PartIndex::joined[k - 1]
  uint64_t end;
  uint32_t placemark;   // its placemark's number, in document order; kNoPlacemark for none
  int32_t folder;       // its placemark's folder, -1 for none
};
static_assert(sizeof(IndexedPart) == 24, "an index of a few bytes a part");

// A part as the writer of objects takes it.
struct Part {
  std::string_view text;
  PartType type;
  std::string_view in;  // the text it lies in, which may be read up to its end
  uint8_t joined;       // 0: the document; k: PartIndex::joined[k - 1]
};

struct PartIndex {
  // In sections: points, polylines (tracks among them), regions (polygons among them), as
  // the MIF file has always been laid out, one object per part. Merged (--multi,
  // --empty-rows): one list in document order, sections[0], in which the parts of a placemark
  // follow one another, and each part outside placemarks stands alone.
  std::array<std::vector<IndexedPart>, 3> sections;
  bool merged = false;
  // Rarely, a coordinates element runs past the end of its element text into the next one
  // (mif/export_plan.h): the coordinates of the element texts from there on lie in their
  // joined text.
  std::vector<std::unique_ptr<std::string>> joined;

  Part PartOf(const IndexedPart& part, std::string_view document) const {
    std::string_view in = part.joined == 0 ? document : std::string_view(*joined[part.joined - 1]);
    return {in.substr(part.begin, part.end - part.begin), part.type, in, part.joined};
  }
};

// Where the objects of a section begin: a run of parts of one placemark in a merged list, else
// each part. Calls visit(first, count) for each object in order.
template <typename Visit>
void ForEachObject(std::span<const IndexedPart> section, bool merged, Visit&& visit) {
  for (size_t i = 0; i < section.size();) {
    size_t end = i + 1;
    if (merged && section[i].placemark != IndexedPart::kNoPlacemark) {
      while (end < section.size() && section[end].placemark == section[i].placemark) ++end;
    }
    visit(i, end - i);
    i = end;
  }
}
