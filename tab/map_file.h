#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tab/map_tools.h"
#include "tab/mif_objects.h"

// The MAP file of a MapInfo native table: the objects in blocks of 512 bytes, their vertices
// on an integer grid, the pens, brushes and symbols they use, and a spatial index over the
// object blocks. The ID file beside it gives each row the address of its object.

// The integer grid of a table and its coordinate system. A coordinate x is stored as
// round(x * scale + displacement), within +-1e9.
struct MapFrame {
  uint8_t projection = 1, ellipsoid = 29, units = 13;  // MapInfo's codes (29: datum left unnamed)
  std::array<double, 6> parameters{};
  double scale_x = 1, scale_y = 1, displacement_x = 0, displacement_y = 0;

  // The grid that puts [min, max] of each axis on +-1e9.
  void Span(double min_x, double min_y, double max_x, double max_y);
  // The largest error of a stored coordinate, in the units of the frame.
  double Quantum() const { return 0.5 / std::min(scale_x, scale_y); }
};

// The frame of a MIF file's CoordSys line (without "CoordSys "), with the grid chosen for it:
// longitude and latitude span the whole earth (a vertex beyond it asks for a wider grid with
// `data`, the bounds of the data); a projection spans its Bounds clause, widened by a tenth
// on each side. False when the line is none that this program writes.
bool FrameOfCoordSys(std::string_view coordsys, MapFrame* frame, const double* data = nullptr);

// A rectangle on the grid.
struct GridBox {
  int32_t min_x = INT32_MAX, min_y = INT32_MAX, max_x = INT32_MIN, max_y = INT32_MIN;
  void Add(int32_t x, int32_t y);
  void Add(const GridBox& other);
};

// A part of an object on the grid, as the MAP file stores it: its sections in the order
// written (a region's rings by polygon, each outer ring before its holes) and its vertices.
struct GridPart {
  struct Section {
    uint32_t vertices = 0, holes = 0;
    GridBox box;
    size_t first = 0;  // its first vertex in xy
  };
  std::vector<Section> sections;
  std::vector<int32_t> xy;
  GridBox box;
};

// The parts of an object on the grid, in its order; the vertices that lay beyond the grid
// (moved to its edge), and the bounds of its coordinates (x, y, x, y).
struct GridObject {
  std::vector<GridPart> parts;
  size_t outside = 0;
  std::array<double, 4> bounds{};
};

// Puts `object` on the grid of `frame`. Objects can be put on it side by side, on any thread.
void PutOnGrid(const MapFrame& frame, const MifObject& object, GridObject* grid);

class MapWriter {
 public:
  using Sink = std::function<bool(std::string_view)>;
  // The MAP file goes to `map` in order, except its first 1,024 bytes (Finish gives them);
  // the ID file goes to `id`.
  MapWriter(const MapFrame& frame, Sink map, Sink id);

  // Writes `object`, put on the grid of the frame as `grid`, as that of the next row. False
  // when a sink failed.
  bool Add(const MifObject& object, const GridObject& grid);
  // Writes the index and the tools; `header` gets the first 1,024 bytes of the file.
  bool Finish(std::string* header);

  // The least version of the table that holds its objects: 300, 450, 650 or 800.
  int version() const { return version_; }
  // Vertices beyond the grid, moved to its edge; and the data's bounds (x, y, x, y).
  size_t outside() const { return outside_; }
  const std::array<double, 4>& bounds() const { return bounds_; }
  // Styles that a table had no room for (it holds 255 of each), written as the nearest kept.
  size_t styles_merged() const { return tools_.merged(); }

 private:
  using Box = GridBox;
  using Section = GridPart::Section;

  // Coordinate data: whole values of `size` bytes, never parted between two blocks.
  bool PutCoordinate(const void* bytes, size_t size);
  bool PutInt16(int16_t value) { return PutCoordinate(&value, 2); }
  bool PutInt32(int32_t value) { return PutCoordinate(&value, 4); }
  bool PutSectionHeaders(const GridPart& part, int version);
  bool PutVertices(const GridPart& part);
  bool CloseCoordinates();
  uint32_t CoordinateAddress();  // where the next coordinate value goes

  // Object blocks.
  bool Reserve(size_t record);  // room for a record in the object block, flushing it if needed
  bool FlushObjects();
  void Put8(uint8_t value) { objects_.push_back(static_cast<char>(value)); }
  void Put16(int16_t value) { objects_.append(reinterpret_cast<const char*>(&value), 2); }
  void Put32(int32_t value) { objects_.append(reinterpret_cast<const char*>(&value), 4); }
  void PutBox(const Box& box);


  bool AddPart(const MifPart& part, const GridPart& grid);
  bool AddCollection(const MifObject& object, const GridObject& grid);
  bool WriteBlock(const std::string& block);  // padded to a whole block
  bool FlushOut();
  bool FlushIds();
  uint32_t Allocate() {
    const uint32_t address = next_block_;
    next_block_ += 512;
    return address;
  }

  MapFrame frame_;
  Sink map_, id_;
  std::string out_, ids_;  // what waits to go to map_ and id_
  uint32_t next_block_ = 1024;
  uint32_t row_ = 0;

  std::string coordinates_;       // the coordinate block being filled
  uint32_t coordinates_at_ = 0;   // its address; 0: none open
  uint32_t coordinate_bytes_ = 0;  // the data of the object being written
  uint32_t coordinate_start_ = 0;  // and its address

  std::string objects_;  // the object block being filled
  Box objects_box_;
  uint32_t first_coordinates_ = 0, last_coordinates_ = 0;
  std::vector<uint32_t> pending_ids_;  // offsets in the object block, 0 for none
  struct IndexEntry {
    Box box;
    uint32_t address;
  };
  std::vector<IndexEntry> object_blocks_;

  MapTools tools_;

  Box all_;
  std::array<size_t, 3> counts_{};  // points, lines, regions
  uint32_t largest_coordinates_ = 0;
  int version_ = 300;
  size_t outside_ = 0;
  std::array<double, 4> bounds_{1e300, 1e300, -1e300, -1e300};
};
