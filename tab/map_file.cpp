#include "tab/map_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "mif/mif_version.h"
#include "tab/region_rings.h"

namespace {

constexpr size_t kBlock = 512;
constexpr size_t kObjectHeader = 20, kCoordinateHeader = 8, kToolHeader = 8;
constexpr size_t kIndexEntries = 25;  // (512 - 4) / 20
constexpr int32_t kGridLimit = 1000000000;

// The length of each object type's record, its top bit set where the object has coordinate
// data, as the header of every MAP file lists them (types 0 to 72).
constexpr uint8_t kObjectLengths[73] = {
    0x00, 0x0a, 0x0e, 0x15, 0x0e, 0x16, 0x1b, 0xa2, 0xa6, 0xab, 0x1a, 0x2a, 0x2f, 0xa5, 0xa9, 0xb5, 0xa7, 0xb5, 0xd9,
    0x0f, 0x17, 0x23, 0x13, 0x1f, 0x2b, 0x0f, 0x17, 0x23, 0x4f, 0x57, 0x63, 0x9c, 0xa4, 0xa9, 0xa0, 0xa8, 0xad, 0xa4,
    0xa8, 0xad, 0x16, 0x1a, 0x39, 0x0d, 0x11, 0x37, 0xa5, 0xa9, 0xb5, 0xa4, 0xa8, 0xad, 0xb2, 0xb6, 0xdc, 0xbd, 0xbd,
    0xf4, 0x2b, 0x2f, 0x55, 0xc8, 0xcc, 0xd8, 0xc7, 0xcb, 0xd0, 0xd3, 0xd7, 0xfd, 0xc2, 0xc2, 0xf9};

// Object types, uncompressed.
enum : uint8_t {
  kSymbol = 0x02,
  kPline = 0x08,
  kRegion = 0x0e,
  kMultipline = 0x26,
  kRegion450 = 0x2f,
  kMultipline450 = 0x32,
  kMultipoint = 0x35,
  kCollection = 0x38,
  kRegion800 = 0x3e,
  kMultipline800 = 0x41,
  kMultipoint800 = 0x44,
  kCollection800 = 0x47,
};

size_t RecordLength(uint8_t type) { return kObjectLengths[type] & 0x7f; }

int VersionOfType(uint8_t type) {
  if (type < 0x2e) return 300;
  if (type < 0x34) return 450;
  if (type < 0x3a) return 650;
  return 800;
}

// The numbers of `text` in order, skipping anything that is none (quotes, commas, words).
std::vector<double> NumbersOf(std::string_view text) {
  std::vector<double> numbers;
  while (!text.empty()) {
    double value = 0;
    auto [end, result] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result == std::errc()) {
      numbers.push_back(value);
      text.remove_prefix(static_cast<size_t>(end - text.data()));
    } else {
      text.remove_prefix(1);
    }
  }
  return numbers;
}

void AppendBytes(std::string& out, const void* bytes, size_t size) {
  out.append(static_cast<const char*>(bytes), size);
}
template <typename T>
void Append(std::string& out, T value) {
  AppendBytes(out, &value, sizeof value);
}
template <typename T>
void Store(std::string& out, size_t at, T value) {
  std::memcpy(out.data() + at, &value, sizeof value);
}


// The place of a box's centre along a Z curve over the grid.
uint64_t ZOrderOf(int32_t min_x, int32_t min_y, int32_t max_x, int32_t max_y) {
  auto spread = [](uint64_t v) {  // the 32 bits of v to the even bits of 64
    v &= 0xFFFFFFFFull;
    v = (v | (v << 16)) & 0x0000FFFF0000FFFFull;
    v = (v | (v << 8)) & 0x00FF00FF00FF00FFull;
    v = (v | (v << 4)) & 0x0F0F0F0F0F0F0F0Full;
    v = (v | (v << 2)) & 0x3333333333333333ull;
    v = (v | (v << 1)) & 0x5555555555555555ull;
    return v;
  };
  const uint64_t x = static_cast<uint64_t>((static_cast<int64_t>(min_x) + max_x) / 2 + (int64_t{1} << 31));
  const uint64_t y = static_cast<uint64_t>((static_cast<int64_t>(min_y) + max_y) / 2 + (int64_t{1} << 31));
  return spread(x) | (spread(y) << 1);
}

}  // namespace

void MapFrame::Span(double min_x, double min_y, double max_x, double max_y) {
  if (!(max_x > min_x)) {
    min_x -= 1;
    max_x += 1;
  }
  if (!(max_y > min_y)) {
    min_y -= 1;
    max_y += 1;
  }
  scale_x = 2e9 / (max_x - min_x);
  scale_y = 2e9 / (max_y - min_y);
  displacement_x = -scale_x * (max_x + min_x) / 2;
  displacement_y = -scale_y * (max_y + min_y) / 2;
}

bool FrameOfCoordSys(std::string_view coordsys, MapFrame* frame, const double* data) {
  *frame = MapFrame();
  const size_t bounds_at = coordsys.find("Bounds");
  const std::vector<double> numbers = NumbersOf(coordsys.substr(0, bounds_at));
  if (numbers.size() < 2 || (numbers[0] != 1 && numbers[0] != 8)) return false;
  frame->projection = static_cast<uint8_t>(numbers[0]);
  frame->ellipsoid = numbers[1] == 104 ? 28 : 29;
  if (numbers[1] != 104 && numbers[1] != 0) return false;
  double min_x = -180, min_y = -90, max_x = 180, max_y = 90;
  if (frame->projection == 8) {
    // 8, 104, "m", central meridian, origin latitude, scale, false easting, false northing.
    if (numbers.size() != 7 || bounds_at == std::string_view::npos) return false;
    frame->units = 7;
    for (size_t i = 0; i < 5; ++i) frame->parameters[i] = numbers[2 + i];
    const std::vector<double> bounds = NumbersOf(coordsys.substr(bounds_at));
    if (bounds.size() != 4) return false;
    const double pad_x = std::max(bounds[2] - bounds[0], 1000.0) / 10, pad_y = std::max(bounds[3] - bounds[1], 1000.0) / 10;
    min_x = bounds[0] - pad_x;
    min_y = bounds[1] - pad_y;
    max_x = bounds[2] + pad_x;
    max_y = bounds[3] + pad_y;
  }
  if (data) {
    min_x = std::min(min_x, data[0]);
    min_y = std::min(min_y, data[1]);
    max_x = std::max(max_x, data[2]);
    max_y = std::max(max_y, data[3]);
  }
  frame->Span(min_x, min_y, max_x, max_y);
  return true;
}

void GridBox::Add(int32_t x, int32_t y) {
  min_x = std::min(min_x, x);
  min_y = std::min(min_y, y);
  max_x = std::max(max_x, x);
  max_y = std::max(max_y, y);
}
void GridBox::Add(const GridBox& other) {
  if (other.min_x > other.max_x) return;
  Add(other.min_x, other.min_y);
  Add(other.max_x, other.max_y);
}

namespace {

// The rings of a region in the order of their polygons (tab/region_rings.h).
void OrderRings(const MifPart& part, GridPart* grid) {
  const RingOrder order = PolygonOrder(part.sections, grid->xy);
  std::vector<size_t> first(part.sections.size());
  for (size_t r = 1; r < first.size(); ++r) first[r] = first[r - 1] + part.sections[r - 1];
  // Written in that order, the vertices follow their rings.
  std::vector<int32_t> ordered;
  ordered.reserve(grid->xy.size());
  for (size_t i = 0; i < order.rings.size(); ++i) {
    const uint32_t r = order.rings[i];
    GridPart::Section section{part.sections[r], order.holes[i], GridBox(), ordered.size() / 2};
    for (size_t v = first[r]; v < first[r] + part.sections[r]; ++v) {
      section.box.Add(grid->xy[2 * v], grid->xy[2 * v + 1]);
      ordered.push_back(grid->xy[2 * v]);
      ordered.push_back(grid->xy[2 * v + 1]);
    }
    grid->sections.push_back(section);
  }
  grid->xy.swap(ordered);
}

// The nearest integer, ties to even, as nearbyint gives it in the default rounding mode, but
// without a call: below 2^51, adding 1.5 * 2^52 leaves no bits for a fraction.
double RoundToEven(double value) {
  constexpr double kShift = 6755399441055744.0, kExact = 2251799813685248.0;
  return std::fabs(value) < kExact ? (value + kShift) - kShift : value;
}

void PutPartOnGrid(const MapFrame& frame, const MifPart& part, GridPart* grid, GridObject* object) {
  grid->sections.clear();
  grid->xy.clear();
  grid->box = GridBox();
  auto to_grid = [&](double value, double scale, double displacement) {
    const double stored = RoundToEven(value * scale + displacement);
    if (!(stored >= -kGridLimit && stored <= kGridLimit)) {
      ++object->outside;
      return stored < 0 ? -kGridLimit : kGridLimit;
    }
    return static_cast<int32_t>(stored);
  };
  const size_t values = part.xy.size() & ~size_t{1};
  grid->xy.resize(values);
  auto& [min_x, min_y, max_x, max_y] = object->bounds;
  for (size_t i = 0; i < values; i += 2) {
    const double x = part.xy[i], y = part.xy[i + 1];
    min_x = std::min(min_x, x);
    min_y = std::min(min_y, y);
    max_x = std::max(max_x, x);
    max_y = std::max(max_y, y);
    const int32_t gx = to_grid(x, frame.scale_x, frame.displacement_x);
    const int32_t gy = to_grid(y, frame.scale_y, frame.displacement_y);
    grid->xy[i] = gx;
    grid->xy[i + 1] = gy;
    grid->box.Add(gx, gy);
  }
  if (part.kind == MifPart::Kind::kRegion) {
    OrderRings(part, grid);
    return;
  }
  size_t first = 0;
  for (uint32_t vertices : part.sections) {
    GridPart::Section section{vertices, 0, part.sections.size() == 1 ? grid->box : GridBox(), first};
    for (size_t v = first; part.sections.size() > 1 && v < first + vertices; ++v) {
      section.box.Add(grid->xy[2 * v], grid->xy[2 * v + 1]);
    }
    grid->sections.push_back(section);
    first += vertices;
  }
}

}  // namespace

void PutOnGrid(const MapFrame& frame, const MifObject& object, GridObject* grid) {
  grid->outside = 0;
  grid->bounds = {1e300, 1e300, -1e300, -1e300};
  if (grid->parts.size() < object.parts.size()) grid->parts.resize(object.parts.size());
  for (size_t p = 0; p < object.parts.size(); ++p) PutPartOnGrid(frame, object.parts[p], &grid->parts[p], grid);
}

MapWriter::MapWriter(const MapFrame& frame, Sink map, Sink id) : frame_(frame), map_(std::move(map)), id_(std::move(id)) {}

bool MapWriter::WriteBlock(const std::string& block) {
  out_.append(block);
  out_.append(kBlock - block.size(), '\0');
  return out_.size() < (size_t{1} << 20) || FlushOut();
}

bool MapWriter::FlushOut() {
  const bool ok = out_.empty() || map_(out_);
  out_.clear();
  return ok;
}

bool MapWriter::PutCoordinate(const void* bytes, size_t size) {
  if (coordinates_at_ == 0) {
    coordinates_at_ = Allocate();
    coordinates_.assign(kCoordinateHeader, '\0');
    if (first_coordinates_ == 0) first_coordinates_ = coordinates_at_;
    last_coordinates_ = coordinates_at_;
  } else if (coordinates_.size() + size > kBlock) {
    const uint32_t next = Allocate();
    Store<int16_t>(coordinates_, 0, 3);
    Store<int16_t>(coordinates_, 2, static_cast<int16_t>(coordinates_.size() - kCoordinateHeader));
    Store<int32_t>(coordinates_, 4, static_cast<int32_t>(next));
    if (!WriteBlock(coordinates_)) return false;
    coordinates_at_ = next;
    coordinates_.assign(kCoordinateHeader, '\0');
    last_coordinates_ = next;
  }
  if (coordinate_bytes_ == 0) coordinate_start_ = coordinates_at_ + static_cast<uint32_t>(coordinates_.size());
  AppendBytes(coordinates_, bytes, size);
  coordinate_bytes_ += static_cast<uint32_t>(size);
  return true;
}

bool MapWriter::CloseCoordinates() {
  if (coordinates_at_ == 0) return true;
  Store<int16_t>(coordinates_, 0, 3);
  Store<int16_t>(coordinates_, 2, static_cast<int16_t>(coordinates_.size() - kCoordinateHeader));
  Store<int32_t>(coordinates_, 4, 0);
  coordinates_at_ = 0;
  return WriteBlock(coordinates_);
}

bool MapWriter::PutSectionHeaders(const GridPart& part, int version) {
  // MapInfo counts 28 bytes for each header of version 450 or later, though one of 450 or
  // 650 takes 26: the offsets of the vertices count so too.
  const size_t header = version >= 450 ? 28 : 24;
  const size_t headers = header * part.sections.size();
  for (const Section& section : part.sections) {
    bool ok = version >= 450 ? PutInt32(static_cast<int32_t>(section.vertices))
                             : PutInt16(static_cast<int16_t>(section.vertices));
    ok = ok && (version >= 800 ? PutInt32(static_cast<int32_t>(section.holes)) : PutInt16(static_cast<int16_t>(section.holes)));
    for (int32_t value : {section.box.min_x, section.box.min_y, section.box.max_x, section.box.max_y}) ok = ok && PutInt32(value);
    if (!ok || !PutInt32(static_cast<int32_t>(headers + 8 * section.first))) return false;
  }
  return true;
}

bool MapWriter::PutVertices(const GridPart& part) {
  const char* vertex = reinterpret_cast<const char*>(part.xy.data());
  for (size_t left = part.xy.size() / 2; left > 0;) {
    // One vertex opens a block if need be; as many as the block has room for follow it.
    if (!PutCoordinate(vertex, 8)) return false;
    vertex += 8;
    --left;
    const size_t more = std::min(left, (kBlock - coordinates_.size()) / 8);
    AppendBytes(coordinates_, vertex, 8 * more);
    coordinate_bytes_ += static_cast<uint32_t>(8 * more);
    vertex += 8 * more;
    left -= more;
  }
  return true;
}

bool MapWriter::Reserve(size_t record) {
  if (!objects_.empty() && objects_.size() + record <= kBlock) return true;
  if (!objects_.empty() && !FlushObjects()) return false;
  objects_.assign(kObjectHeader, '\0');
  return true;
}

bool MapWriter::FlushObjects() {
  uint32_t address = 0;
  if (objects_.size() > kObjectHeader) {
    if (!CloseCoordinates()) return false;
    address = Allocate();
    Store<int16_t>(objects_, 0, 2);
    Store<int16_t>(objects_, 2, static_cast<int16_t>(objects_.size() - kObjectHeader));
    Store<int32_t>(objects_, 4, static_cast<int32_t>((static_cast<int64_t>(objects_box_.min_x) + objects_box_.max_x) / 2));
    Store<int32_t>(objects_, 8, static_cast<int32_t>((static_cast<int64_t>(objects_box_.min_y) + objects_box_.max_y) / 2));
    Store<int32_t>(objects_, 12, static_cast<int32_t>(first_coordinates_));
    Store<int32_t>(objects_, 16, static_cast<int32_t>(last_coordinates_));
    if (!WriteBlock(objects_)) return false;
    object_blocks_.push_back({objects_box_, address});
  }
  std::string ids;
  for (uint32_t offset : pending_ids_) Append<int32_t>(ids, static_cast<int32_t>(offset == 0 ? 0 : address + offset));
  pending_ids_.clear();
  objects_.clear();
  objects_box_ = Box();
  first_coordinates_ = last_coordinates_ = 0;
  ids_.append(ids);
  return ids_.size() < (size_t{1} << 16) || FlushIds();
}

bool MapWriter::FlushIds() {
  const bool ok = ids_.empty() || id_(ids_);
  ids_.clear();
  return ok;
}

void MapWriter::PutBox(const Box& box) {
  Put32(box.min_x);
  Put32(box.min_y);
  Put32(box.max_x);
  Put32(box.max_y);
}

bool MapWriter::Add(const MifObject& object, const GridObject& grid) {
  ++row_;
  outside_ += grid.outside;
  bounds_ = {std::min(bounds_[0], grid.bounds[0]), std::min(bounds_[1], grid.bounds[1]),
             std::max(bounds_[2], grid.bounds[2]), std::max(bounds_[3], grid.bounds[3])};
  if (object.parts.empty()) {
    pending_ids_.push_back(0);
    return true;
  }
  return object.collection ? AddCollection(object, grid) : AddPart(object.parts[0], grid.parts[0]);
}

namespace {

// The label point of a part: a polyline's middle vertex, a multipoint's first point, a
// region's and a point's centre.
template <typename Grid>
std::pair<int32_t, int32_t> LabelOf(MifPart::Kind kind, const Grid& grid) {
  if (kind == MifPart::Kind::kPline && !grid.sections.empty()) {
    const size_t v = grid.sections[0].vertices / 2;
    return {grid.xy[2 * v], grid.xy[2 * v + 1]};
  }
  if (kind == MifPart::Kind::kMultipoint) return {grid.xy[0], grid.xy[1]};
  return {static_cast<int32_t>((static_cast<int64_t>(grid.box.min_x) + grid.box.max_x) / 2),
          static_cast<int32_t>((static_cast<int64_t>(grid.box.min_y) + grid.box.max_y) / 2)};
}

size_t NodesOf(const MifPart& part) { return part.xy.size() / 2; }

}  // namespace

bool MapWriter::AddPart(const MifPart& part, const GridPart& grid) {
  if (grid.xy.empty()) {
    pending_ids_.push_back(0);
    return true;
  }
  uint8_t type = kSymbol;
  int version = 300;
  switch (part.kind) {
    case MifPart::Kind::kPoint: type = kSymbol; break;
    case MifPart::Kind::kMultipoint:
      version = VersionHolding(true, 1, NodesOf(part));
      type = version >= 800 ? kMultipoint800 : kMultipoint;
      break;
    case MifPart::Kind::kPline:
      version = VersionHolding(false, part.sections.size(), NodesOf(part));
      type = version >= 800 ? kMultipline800 : version >= 450 ? kMultipline450 : kMultipline;
      if (type == kMultipline && part.sections.size() == 1 && !part.multiple) type = kPline;
      break;
    case MifPart::Kind::kRegion:
      version = VersionHolding(false, part.sections.size(), NodesOf(part));
      type = version >= 800 ? kRegion800 : version >= 450 ? kRegion450 : kRegion;
      break;
  }
  version = VersionOfType(type);
  version_ = std::max(version_, version);
  if (!Reserve(RecordLength(type))) return false;
  coordinate_bytes_ = 0;
  const size_t offset = objects_.size();
  Put8(type);
  Put32(static_cast<int32_t>(row_));
  const auto [label_x, label_y] = LabelOf(part.kind, grid);
  switch (part.kind) {
    case MifPart::Kind::kPoint:
      Put32(grid.xy[0]);
      Put32(grid.xy[1]);
      Put8(tools_.SymbolOf(part.symbol));
      ++counts_[0];
      break;
    case MifPart::Kind::kMultipoint: {
      if (!PutVertices(grid)) return false;
      Put32(static_cast<int32_t>(coordinate_start_));
      Put32(static_cast<int32_t>(NodesOf(part)));
      objects_.append(type == kMultipoint800 ? 15 + 33 : 15, '\0');
      Put8(tools_.SymbolOf(part.symbol));
      Put8(0);
      Put32(label_x);
      Put32(label_y);
      PutBox(grid.box);
      ++counts_[0];
      break;
    }
    case MifPart::Kind::kPline:
    case MifPart::Kind::kRegion: {
      if (type != kPline && !PutSectionHeaders(grid, version)) return false;
      if (!PutVertices(grid)) return false;
      Put32(static_cast<int32_t>(coordinate_start_));
      Put32(static_cast<int32_t>(coordinate_bytes_));
      if (version >= 800) {
        Put32(static_cast<int32_t>(grid.sections.size()));
        objects_.append(33, '\0');
      } else if (type != kPline) {
        Put16(static_cast<int16_t>(grid.sections.size()));
      }
      Put32(label_x);
      Put32(label_y);
      PutBox(grid.box);
      Put8(tools_.PenOf(part.pen));
      if (part.kind == MifPart::Kind::kRegion) Put8(tools_.BrushOf(part.brush));
      ++counts_[part.kind == MifPart::Kind::kRegion ? 2 : 1];
      break;
    }
  }
  largest_coordinates_ = std::max(largest_coordinates_, coordinate_bytes_);
  objects_box_.Add(grid.box);
  all_.Add(grid.box);
  pending_ids_.push_back(static_cast<uint32_t>(offset));
  return true;
}

bool MapWriter::AddCollection(const MifObject& object, const GridObject& on_grid) {
  // At most one part of each kind: a region, a polyline, a multipoint.
  const MifPart* of_kind[3] = {};
  const GridPart* grid_of_kind[3] = {};
  bool v800 = false;
  for (size_t p = 0; p < object.parts.size(); ++p) {
    const MifPart& part = object.parts[p];
    const int kind = part.kind == MifPart::Kind::kRegion ? 0 : part.kind == MifPart::Kind::kPline ? 1 : 2;
    if (!of_kind[kind]) {
      of_kind[kind] = &part;
      grid_of_kind[kind] = &on_grid.parts[p];
    }
    v800 = v800 || VersionHolding(part.kind != MifPart::Kind::kRegion && part.kind != MifPart::Kind::kPline,
                                  part.sections.size(), NodesOf(part)) >= 800;
  }
  const uint8_t type = v800 ? kCollection800 : kCollection;
  const int version = VersionOfType(type);
  version_ = std::max(version_, version);
  Box box;
  for (int k = 0; k < 3; ++k) {
    if (of_kind[k]) box.Add(grid_of_kind[k]->box);
  }
  if (box.min_x > box.max_x) {
    pending_ids_.push_back(0);
    return true;
  }
  if (!Reserve(RecordLength(type))) return false;
  coordinate_bytes_ = 0;
  uint32_t sizes[2] = {};  // of the region's and the polyline's data, as MapInfo counts them
  for (int k = 0; k < 3; ++k) {
    if (!of_kind[k] || grid_of_kind[k]->xy.empty()) continue;
    const GridPart& grid = *grid_of_kind[k];
    const MifPart::Kind kind = of_kind[k]->kind;
    const auto [label_x, label_y] = LabelOf(kind, grid);
    for (int32_t value : {label_x, label_y, grid.box.min_x, grid.box.min_y, grid.box.max_x, grid.box.max_y}) {
      if (!PutInt32(value)) return false;
    }
    const uint32_t before = coordinate_bytes_;
    if (k < 2 && !PutSectionHeaders(grid, version)) return false;
    if (!PutVertices(grid)) return false;
    if (k < 2) sizes[k] = coordinate_bytes_ - before + 2 * static_cast<uint32_t>(grid.sections.size());
  }
  const size_t offset = objects_.size();
  Put8(type);
  Put32(static_cast<int32_t>(row_));
  Put32(static_cast<int32_t>(coordinate_start_));
  Put32(of_kind[2] ? static_cast<int32_t>(grid_of_kind[2]->xy.size() / 2) : 0);
  Put32(static_cast<int32_t>(sizes[0]));
  Put32(static_cast<int32_t>(sizes[1]));
  const int32_t regions = of_kind[0] ? static_cast<int32_t>(grid_of_kind[0]->sections.size()) : 0;
  const int32_t plines = of_kind[1] ? static_cast<int32_t>(grid_of_kind[1]->sections.size()) : 0;
  if (version >= 800) {
    Put32(regions);
    Put32(plines);
    Put8(4);
  } else {
    Put16(static_cast<int16_t>(regions));
    Put16(static_cast<int16_t>(plines));
  }
  objects_.append(15, '\0');
  Put8(of_kind[2] ? tools_.SymbolOf(of_kind[2]->symbol) : 0);
  Put8(0);
  Put8(of_kind[0] ? tools_.PenOf(of_kind[0]->pen) : 0);
  Put8(of_kind[1] ? tools_.PenOf(of_kind[1]->pen) : 0);
  Put8(of_kind[0] ? tools_.BrushOf(of_kind[0]->brush) : 0);
  PutBox(box);
  largest_coordinates_ = std::max(largest_coordinates_, coordinate_bytes_);
  ++counts_[of_kind[0] ? 2 : of_kind[1] ? 1 : 0];
  objects_box_.Add(box);
  all_.Add(box);
  pending_ids_.push_back(static_cast<uint32_t>(offset));
  return true;
}

bool MapWriter::Finish(std::string* header) {
  if (!FlushObjects() || !CloseCoordinates()) return false;
  // The index, from the object blocks up to one root block. Each level's entries go to their
  // index blocks in the order of their centres along a Z curve, so that the entries of one
  // block lie near one another and a window meets few blocks.
  uint32_t root = 0;
  int depth = 0;
  std::vector<IndexEntry> level = object_blocks_;
  while (!level.empty()) {
    std::sort(level.begin(), level.end(), [](const IndexEntry& a, const IndexEntry& b) {
      return ZOrderOf(a.box.min_x, a.box.min_y, a.box.max_x, a.box.max_y) <
             ZOrderOf(b.box.min_x, b.box.min_y, b.box.max_x, b.box.max_y);
    });
    std::vector<IndexEntry> parents;
    for (size_t from = 0; from < level.size(); from += kIndexEntries) {
      const size_t to = std::min(level.size(), from + kIndexEntries);
      std::string block;
      Append<int16_t>(block, 1);
      Append<int16_t>(block, static_cast<int16_t>(to - from));
      IndexEntry parent{Box(), Allocate()};
      for (size_t e = from; e < to; ++e) {
        const Box& b = level[e].box;
        for (int32_t value : {b.min_x, b.min_y, b.max_x, b.max_y, static_cast<int32_t>(level[e].address)}) {
          Append<int32_t>(block, value);
        }
        parent.box.Add(b);
      }
      if (!WriteBlock(block)) return false;
      parents.push_back(parent);
    }
    ++depth;
    if (parents.size() == 1) {
      root = parents[0].address;
      break;
    }
    level = std::move(parents);
  }
  // The tools, in blocks chained one after the other.
  const std::vector<std::string> tools = tools_.Definitions();
  uint32_t first_tool = 0;
  int16_t tool_blocks = 0;
  for (size_t t = 0; t < tools.size();) {
    std::string block(kToolHeader, '\0');
    while (t < tools.size() && block.size() + tools[t].size() <= kBlock) block += tools[t++];
    const uint32_t address = Allocate();
    if (first_tool == 0) first_tool = address;
    Store<int16_t>(block, 0, 5);
    Store<int16_t>(block, 2, static_cast<int16_t>(block.size() - kToolHeader));
    Store<int32_t>(block, 4, t < tools.size() ? static_cast<int32_t>(next_block_) : 0);
    if (!WriteBlock(block)) return false;
    ++tool_blocks;
  }

  if (!FlushOut() || !FlushIds()) return false;
  std::string& h = *header;
  h.assign(1024, '\0');
  std::memcpy(h.data(), kObjectLengths, sizeof kObjectLengths);
  const Box all = all_.min_x <= all_.max_x ? all_ : Box{0, 0, 0, 0};
  uint32_t buffer = 512;
  while (buffer < largest_coordinates_ && buffer < (1u << 19)) buffer *= 2;
  Store<int32_t>(h, 0x100, 42424242);
  Store<int16_t>(h, 0x104, 500);
  Store<int16_t>(h, 0x106, 512);
  Store<double>(h, 0x108, 1.0);
  Store<int32_t>(h, 0x110, all.min_x);
  Store<int32_t>(h, 0x114, all.min_y);
  Store<int32_t>(h, 0x118, all.max_x);
  Store<int32_t>(h, 0x11c, all.max_y);
  Store<int32_t>(h, 0x130, static_cast<int32_t>(root));
  Store<int32_t>(h, 0x134, 0);
  Store<int32_t>(h, 0x138, static_cast<int32_t>(first_tool));
  Store<int32_t>(h, 0x13c, static_cast<int32_t>(counts_[0]));
  Store<int32_t>(h, 0x140, static_cast<int32_t>(counts_[1]));
  Store<int32_t>(h, 0x144, static_cast<int32_t>(counts_[2]));
  Store<int32_t>(h, 0x148, 0);
  Store<int32_t>(h, 0x14c, static_cast<int32_t>(buffer));
  const uint8_t settings[] = {7, static_cast<uint8_t>(depth == 0 ? 0 : depth + 1), 3, 1, 0, 72,
                              static_cast<uint8_t>(tools_.pens()), static_cast<uint8_t>(tools_.brushes()),
                              static_cast<uint8_t>(tools_.symbols()), 0};
  std::memcpy(h.data() + 0x15e, settings, sizeof settings);
  Store<int16_t>(h, 0x168, tool_blocks);
  h[0x16d] = static_cast<char>(frame_.projection);
  h[0x16e] = static_cast<char>(frame_.ellipsoid);
  h[0x16f] = static_cast<char>(frame_.units);
  size_t at = 0x170;
  for (double value : {frame_.scale_x, frame_.scale_y, frame_.displacement_x, frame_.displacement_y}) {
    Store<double>(h, at, value);
    at += 8;
  }
  for (double value : frame_.parameters) {
    Store<double>(h, at, value);
    at += 8;
  }
  return true;
}
