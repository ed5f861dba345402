#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "features/conversion_options.h"
#include "fuzz/reference/kml_features.h"
#include "mif/export_plan.h"

namespace reference {

// The MIF objects of a conversion with options, planned before a byte is written: which parts
// of geometry make each object, which placemark's row it gets, and in what order they come.

enum class PartType : uint8_t { kPoint, kLine, kRing, kTrack, kPolygon };

// A piece of geometry: a coordinates text (point, line, ring), or the text of a Polygon or of a
// gx:Track element, whose rings and coordinates are found where it is written.
struct Part {
  uint64_t position;      // where its geometry lies in the document
  std::string_view text;
  PartType type;
  uint32_t joined;        // 0: `text` lies in the document; k: in ObjectPlan::joined[k - 1]
  int placemark = -1;     // the placemark that holds it, -1 for none
};

// The parts [first, first + count) of ObjectPlan::parts and the placemark they belong to: one
// part outside placemarks, or with the parts in sections; all the parts of a placemark in
// document order (count 0 for a placemark without geometry, with --empty-rows).
struct PlannedObject {
  uint64_t position;
  uint32_t first;
  uint32_t count;
  int placemark;
};

// The objects of a section: listed, or one for each of the parts [first, end) of a plan's
// parts, which must then stay where they are.
class ObjectSection {
 public:
  ObjectSection(const std::vector<Part>& parts, size_t first, size_t end)
      : parts_(parts.data()), first_(first), end_(end), listed_(false) {}
  explicit ObjectSection(std::vector<PlannedObject> objects) : objects_(std::move(objects)) {}

  size_t size() const { return listed_ ? objects_.size() : end_ - first_; }
  PlannedObject operator[](size_t i) const {
    if (listed_) return objects_[i];
    const size_t part = first_ + i;
    return {parts_[part].position, static_cast<uint32_t>(part), 1, parts_[part].placemark};
  }

 private:
  const Part* parts_ = nullptr;
  size_t first_ = 0, end_ = 0;
  bool listed_ = true;
  std::vector<PlannedObject> objects_;
};

struct ObjectPlan {
  ObjectPlan() = default;
  ObjectPlan(ObjectPlan&&) = default;  // the parts stay where they are: the sections still find them
  ObjectPlan& operator=(ObjectPlan&&) = default;
  ObjectPlan(const ObjectPlan&) = delete;
  ObjectPlan& operator=(const ObjectPlan&) = delete;

  std::vector<Part> parts;
  // In sections: points, polylines, regions, as the MIF file has always been laid out, one
  // object per part. Merged (--multi, --empty-rows): one list, in document order.
  std::vector<ObjectSection> sections;
  bool merged = false;
  std::vector<std::unique_ptr<std::string>> joined;  // element texts the parts of `joined` lie in
  std::vector<bool> used;  // of each placemark: whether it may give a row (the table's widths follow them)
};

// The elements whose texts the options plan as parts: Polygon (--polygons), then gx:Track
// (--tracks).
std::vector<std::string_view> PartElementNames(const ConversionOptions& options);

// The plan of `text` from the export's geometry plan `kinds`; `features`, when the options
// need them, give each part its placemark. The elements of PartElementNames are searched
// for, unless `elements` has taken the tags of the whole text already.
ObjectPlan MakeObjectPlan(std::string_view text, std::array<KindPlan, 3>& kinds, const ConversionOptions& options,
                          const KmlFeatures* features, int threads, const NamedTagScan* elements = nullptr);

// The rings of a Polygon: the coordinates of the first LinearRing of its outerBoundaryIs, then
// those of each LinearRing of its innerBoundaryIs elements, in order.
std::vector<std::string_view> RingsOf(std::string_view polygon);

}  // namespace reference
