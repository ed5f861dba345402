#include "fuzz/reference/object_plan.h"

#include <algorithm>
#include <iterator>

#include "mif/element_tags.h"

namespace reference {

namespace {

size_t PositionIn(std::string_view text, std::string_view part) { return static_cast<size_t>(part.data() - text.data()); }

// Appends the parts of one kind of the geometry plan, those that `keep` keeps.
template <typename Keep>
void AddKind(std::string_view text, const KindPlan& kind, PartType type, ObjectPlan& plan, std::vector<Part>& parts,
             Keep keep) {
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

// Sorts the parts from `first` on.
void SortByPosition(std::vector<Part>& parts, size_t first) {
  std::stable_sort(parts.begin() + static_cast<std::ptrdiff_t>(first), parts.end(),
                   [](const Part& a, const Part& b) { return a.position < b.position; });
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

// The parts of each kind, one kind after another in one list: points, polylines (tracks among
// them), regions (polygons among them); `ends` gets where each kind's parts end. Polygons and
// tracks are planned as their elements' texts.
std::vector<Part> PlanParts(std::string_view text, const std::array<KindPlan, 3>& kinds, const ConversionOptions& options,
                            ObjectPlan& plan, int threads, const NamedTagScan* found, std::array<size_t, 3>& ends) {
  const std::vector<std::string_view> names = PartElementNames(options);
  std::vector<std::vector<ElementMatch>> elements;
  if (!names.empty()) elements = found ? found->Elements(text) : FindElementsOfEach(text, names, threads);
  std::vector<Part> parts;
  size_t expected = 0;
  for (const KindPlan& kind : kinds) expected += kind.coordinates.size();
  for (const std::vector<ElementMatch>& of_name : elements) expected += of_name.size();
  parts.reserve(expected);
  auto always = [](size_t) { return true; };
  AddKind(text, kinds[0], PartType::kPoint, plan, parts, always);
  ends[0] = parts.size();
  AddKind(text, kinds[1], PartType::kLine, plan, parts, always);
  if (options.tracks) {
    for (const ElementMatch& track : elements.back()) {
      parts.push_back({PositionIn(text, track.whole), track.group, PartType::kTrack, 0});
    }
    SortByPosition(parts, ends[0]);
  }
  ends[1] = parts.size();
  if (options.polygons) {
    std::vector<TextSpan> extents;
    for (const ElementMatch& polygon : elements.front()) {
      const size_t position = PositionIn(text, polygon.whole);
      extents.push_back({position, position + polygon.whole.size()});
      parts.push_back({position, polygon.group, PartType::kPolygon, 0});
    }
    // A ring outside every Polygon is still a region of its own.
    AddKind(text, kinds[2], PartType::kRing, plan, parts, [&](size_t position) {
      auto after = std::upper_bound(extents.begin(), extents.end(), position,
                                    [](size_t p, const TextSpan& s) { return p < s.begin; });
      return after == extents.begin() || position >= std::prev(after)->end;
    });
    SortByPosition(parts, ends[1]);
  } else {
    AddKind(text, kinds[2], PartType::kRing, plan, parts, always);
  }
  ends[2] = parts.size();
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
  std::array<size_t, 3> ends{};  // of each kind's parts
  plan.parts = PlanParts(text, kinds, options, plan, threads, elements, ends);
  kinds = {};  // its spans are parts now
  auto begin_of = [&](size_t kind) { return kind == 0 ? 0 : ends[kind - 1]; };
  const size_t placemarks = features ? features->placemarks.size() : 0;
  plan.used.assign(placemarks, options.empty_rows);
  // Each part's placemark: parts come in document order within a kind.
  if (features) {
    for (size_t k = 0; k < 3; ++k) {
      size_t hint = 0;
      for (size_t i = begin_of(k); i < ends[k]; ++i) {
        Part& part = plan.parts[i];
        part.placemark = features->PlacemarkAt(part.position, &hint);
        if (part.placemark >= 0) plan.used[static_cast<size_t>(part.placemark)] = true;
      }
    }
  }
  plan.merged = options.multi || options.empty_rows;
  if (!plan.merged) {
    // One object per part, in the three sections of the file.
    for (size_t k = 0; k < 3; ++k) plan.sections.emplace_back(plan.parts, begin_of(k), ends[k]);
    return plan;
  }
  // Merged: the parts of each placemark together, in document order, and each part outside
  // placemarks on its own; a placemark without parts at its opening tag. Each kind's parts
  // are in document order, and so, unless placemarks nest, are their placemarks: the kinds'
  // runs are merged.
  auto in_placemark = [](const Part& p) { return p.placemark >= 0; };
  std::array<size_t, 3> inside_of{};  // of each kind
  std::vector<size_t> inside_ends, outside_ends;
  auto at = [&](size_t i) { return plan.parts.begin() + static_cast<std::ptrdiff_t>(i); };
  for (size_t k = 0; k < 3; ++k) {
    inside_of[k] = static_cast<size_t>(std::count_if(at(begin_of(k)), at(ends[k]), in_placemark));
    inside_ends.push_back((k ? inside_ends.back() : 0) + inside_of[k]);
  }
  const size_t inside = inside_ends.back();
  for (size_t k = 0; k < 3; ++k) {
    outside_ends.push_back((k ? outside_ends.back() : inside) + ends[k] - begin_of(k) - inside_of[k]);
  }
  // Those in placemarks before the others, each in the kinds' order: when every part is in a
  // placemark, nothing is moved.
  std::stable_partition(plan.parts.begin(), plan.parts.end(), in_placemark);
  SortRuns(plan.parts.begin(), inside_ends, [](const Part& a, const Part& b) {
    return a.placemark != b.placemark ? a.placemark < b.placemark : a.position < b.position;
  });
  std::vector<PlannedObject> objects;
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
  plan.sections.emplace_back(std::move(objects));
  return plan;
}

}  // namespace reference
