#include "features/object_plan.h"

#include <algorithm>
#include <iterator>

#include "mif/element_tags.h"

namespace {

size_t PositionIn(std::string_view text, std::string_view part) { return static_cast<size_t>(part.data() - text.data()); }

// The parts of one kind of the geometry plan, those that `keep` keeps.
template <typename Keep>
void AddKind(std::string_view text, const KindPlan& kind, PartType type, ObjectPlan& plan, std::vector<Part>& parts,
             Keep keep) {
  parts.reserve(parts.size() + kind.coordinates.size());
  for (const TextSpan& span : kind.coordinates) {
    if (keep(span.begin)) parts.push_back({span.begin, text.substr(span.begin, span.end - span.begin), type, 0});
  }
  if (kind.joined_from_here.empty()) return;
  plan.joined.push_back(std::make_unique<std::string>(JoinSpans(text, kind.joined_from_here)));
  const auto joined = static_cast<uint32_t>(plan.joined.size());
  ForEachJoinedCoordinates(kind, *plan.joined.back(), [&](std::string_view coordinates, size_t position) {
    if (keep(position)) parts.push_back({position, coordinates, type, joined});
  });
}

void SortByPosition(std::vector<Part>& parts) {
  std::stable_sort(parts.begin(), parts.end(), [](const Part& a, const Part& b) { return a.position < b.position; });
}

// Sorts the items from `first` on, runs that end at `run_ends` (counted from `first`), as a
// stable sort would: when every run is in order already, the usual case, by merging the runs
// in linear time.
template <typename Iterator, typename Less>
void SortRuns(Iterator first, const std::vector<size_t>& run_ends, Less less) {
  auto at = [&](size_t i) { return first + static_cast<std::ptrdiff_t>(i); };
  size_t begin = 0;
  for (size_t end : run_ends) {
    if (!std::is_sorted(at(begin), at(end), less)) {
      std::stable_sort(first, at(run_ends.back()), less);
      return;
    }
    begin = end;
  }
  for (size_t r = 1; r < run_ends.size(); ++r) std::inplace_merge(first, at(run_ends[r - 1]), at(run_ends[r]), less);
}

// The parts of each kind: points, polylines (tracks among them), regions (polygons among
// them). Polygons and tracks are planned as their elements' texts.
std::array<std::vector<Part>, 3> PlanParts(std::string_view text, const std::array<KindPlan, 3>& kinds,
                                           const ConversionOptions& options, ObjectPlan& plan, int threads,
                                           const NamedTagScan* found) {
  const std::vector<std::string_view> names = PartElementNames(options);
  std::vector<std::vector<ElementMatch>> elements;
  if (!names.empty()) elements = found ? found->Elements(text) : FindElementsOfEach(text, names, threads);
  std::array<std::vector<Part>, 3> parts;
  auto always = [](size_t) { return true; };
  AddKind(text, kinds[0], PartType::kPoint, plan, parts[0], always);
  AddKind(text, kinds[1], PartType::kLine, plan, parts[1], always);
  if (options.tracks) {
    for (const ElementMatch& track : elements.back()) {
      parts[1].push_back({PositionIn(text, track.whole), track.group, PartType::kTrack, 0});
    }
    SortByPosition(parts[1]);
  }
  if (options.polygons) {
    std::vector<TextSpan> extents;
    for (const ElementMatch& polygon : elements.front()) {
      const size_t position = PositionIn(text, polygon.whole);
      extents.push_back({position, position + polygon.whole.size()});
      parts[2].push_back({position, polygon.group, PartType::kPolygon, 0});
    }
    // A ring outside every Polygon is still a region of its own.
    AddKind(text, kinds[2], PartType::kRing, plan, parts[2], [&](size_t position) {
      auto after = std::upper_bound(extents.begin(), extents.end(), position,
                                    [](size_t p, const TextSpan& s) { return p < s.begin; });
      return after == extents.begin() || position >= std::prev(after)->end;
    });
    SortByPosition(parts[2]);
  } else {
    AddKind(text, kinds[2], PartType::kRing, plan, parts[2], always);
  }
  return parts;
}

std::string_view FirstGroup(std::string_view text, std::string_view name) {
  std::vector<ElementMatch> found = FindNamedElements(text, name);
  return found.empty() ? std::string_view() : found[0].group;
}

}  // namespace

std::vector<std::string_view> PartElementNames(const ConversionOptions& options) {
  std::vector<std::string_view> names;
  if (options.polygons) names.push_back("Polygon");
  if (options.tracks) names.push_back("Track");
  return names;
}

std::vector<std::string_view> RingsOf(std::string_view polygon) {
  std::vector<std::string_view> rings{FirstGroup(FirstGroup(FirstGroup(polygon, "outerBoundaryIs"), "LinearRing"), "coordinates")};
  for (const ElementMatch& inner : FindNamedElements(polygon, "innerBoundaryIs")) {
    for (const ElementMatch& ring : FindNamedElements(inner.group, "LinearRing")) {
      rings.push_back(FirstGroup(ring.group, "coordinates"));
    }
  }
  return rings;
}

ObjectPlan MakeObjectPlan(std::string_view text, std::array<KindPlan, 3>& kinds, const ConversionOptions& options,
                          const KmlFeatures* features, int threads, const NamedTagScan* elements) {
  ObjectPlan plan;
  std::array<std::vector<Part>, 3> parts = PlanParts(text, kinds, options, plan, threads, elements);
  kinds = {};  // its spans are parts now
  const size_t placemarks = features ? features->placemarks.size() : 0;
  plan.used.assign(placemarks, options.empty_rows);
  // Each part's placemark: parts come in document order within a kind.
  if (features) {
    for (std::vector<Part>& kind : parts) {
      size_t hint = 0;
      for (Part& part : kind) {
        part.placemark = features->PlacemarkAt(part.position, &hint);
        if (part.placemark >= 0) plan.used[static_cast<size_t>(part.placemark)] = true;
      }
    }
  }
  plan.merged = options.multi || options.empty_rows;
  if (!plan.merged) {
    // One object per part, in the three sections of the file; the parts of the first kind
    // stay where they are, the others follow them.
    plan.parts = std::move(parts[0]);
    plan.parts.reserve(plan.parts.size() + parts[1].size() + parts[2].size());
    for (size_t k = 1; k < 3; ++k) plan.parts.insert(plan.parts.end(), parts[k].begin(), parts[k].end());
    uint32_t next = 0;
    for (size_t k = 0; k < 3; ++k) {
      const size_t count = k == 0 ? plan.parts.size() - parts[1].size() - parts[2].size() : parts[k].size();
      std::vector<PlannedObject>& section = plan.sections.emplace_back();
      section.reserve(count);
      for (size_t i = 0; i < count; ++i, ++next) {
        const Part& part = plan.parts[next];
        section.push_back({part.position, next, 1, part.placemark});
      }
      if (k > 0) parts[k] = {};
    }
    return plan;
  }
  // Merged: the parts of each placemark together, in document order, and each part outside
  // placemarks on its own; a placemark without parts at its opening tag. Each kind's parts
  // are in document order, and so, unless placemarks nest, are their placemarks: the kinds'
  // runs are merged.
  auto in_placemark = [](const Part& p) { return p.placemark >= 0; };
  std::array<size_t, 3> inside_of{};  // of each kind
  std::vector<size_t> inside_ends, outside_ends;
  for (size_t k = 0; k < 3; ++k) {
    inside_of[k] = static_cast<size_t>(std::count_if(parts[k].begin(), parts[k].end(), in_placemark));
    inside_ends.push_back((k ? inside_ends.back() : 0) + inside_of[k]);
  }
  const size_t inside = inside_ends.back();
  for (size_t k = 0; k < 3; ++k) outside_ends.push_back((k ? outside_ends.back() : inside) + parts[k].size() - inside_of[k]);
  // The kinds one after another, then those in placemarks before the others, each in the
  // kinds' order: the first kind's list is kept, and when every part is in a placemark,
  // nothing is moved.
  plan.parts = std::move(parts[0]);
  plan.parts.reserve(plan.parts.size() + parts[1].size() + parts[2].size());
  for (size_t k = 1; k < 3; ++k) {
    plan.parts.insert(plan.parts.end(), parts[k].begin(), parts[k].end());
    parts[k] = {};
  }
  std::stable_partition(plan.parts.begin(), plan.parts.end(), in_placemark);
  SortRuns(plan.parts.begin(), inside_ends, [](const Part& a, const Part& b) {
    return a.placemark != b.placemark ? a.placemark < b.placemark : a.position < b.position;
  });
  std::vector<PlannedObject>& objects = plan.sections.emplace_back();
  objects.reserve(options.empty_rows ? std::max(placemarks, plan.parts.size()) : plan.parts.size());
  std::vector<bool> has_parts(placemarks, false);
  for (size_t i = 0; i < plan.parts.size();) {
    const int placemark = plan.parts[i].placemark;
    size_t end = i + 1;
    if (i < inside) {
      while (end < inside && plan.parts[end].placemark == placemark) ++end;
      has_parts[static_cast<size_t>(placemark)] = true;
    }
    objects.push_back({plan.parts[i].position, static_cast<uint32_t>(i), static_cast<uint32_t>(end - i), placemark});
    i = end;
  }
  // The objects come in runs in document order: the placemarks', those of the parts outside
  // placemarks of each kind, and the placemarks' without parts.
  std::vector<size_t> object_ends{objects.size() - (plan.parts.size() - inside)};
  for (size_t end : outside_ends) object_ends.push_back(object_ends.front() + end - inside);
  if (options.empty_rows) {
    for (size_t p = 0; p < placemarks; ++p) {
      if (!has_parts[p]) objects.push_back({features->placemarks[p].begin, 0, 0, static_cast<int>(p)});
    }
  }
  object_ends.push_back(objects.size());
  SortRuns(objects.begin(), object_ends,
           [](const PlannedObject& a, const PlannedObject& b) { return a.position < b.position; });
  return plan;
}
