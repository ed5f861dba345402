#include "features/document_survey.h"

#include <algorithm>
#include <deque>

#include "features/placemark_stretches.h"
#include "mif/element_tags.h"
#include "mif/export_plan.h"

namespace {

// The elements whose texts the options make parts of: Polygon (--polygons), then gx:Track
// (--tracks).
std::vector<std::string_view> PartElementNames(const ConversionOptions& options) {
  std::vector<std::string_view> names;
  if (options.polygons) names.push_back("Polygon");
  if (options.tracks) names.push_back("Track");
  return names;
}

// A part found, not yet placed: where its geometry lies in the document, which orders the
// parts of a section, and its text.
struct FoundPart {
  uint64_t position;
  uint64_t begin, end;
  PartType type;
  uint8_t joined;
};

// What the placement of a stretch gives, before it joins the document's: its parts in the
// index's order, their `folder` the number of their placemark in the stretch until then; the
// counts of the rows of its placemarks, of the stretch's own fields; the placemarks that give
// a row, and the records of their values and styles for the writing (RowSpool).
struct Placed : StretchWork {
  bool complete = false;  // placed on the stretch's own, which holds every part of its placemarks
  std::array<std::vector<IndexedPart>, 3> sections;
  RowCounts rows;
  std::vector<uint32_t> used;
  std::string records;
  void Clear() {
    complete = false;
    for (std::vector<IndexedPart>& section : sections) section.clear();
    rows = RowCounts();
    used.clear();
    records.clear();
  }
};

// Takes the parts as the planner and the element pairings find them, and places those of a
// stretch in the order of their positions, each in its placemark.
class PartPlacer {
 public:
  PartPlacer(std::string_view text, const ConversionOptions& options)
      : text_(text), options_(options), table_(TableOptionsFor(options)),
        merged_list_(options.multi || options.empty_rows), records_(options.Table() || options.styles) {}

  // The coordinates texts of each kind that the planner has planned since; it keeps no others.
  void TakePlanned(std::array<KindPlan, 3>& plans) {
    static constexpr PartType kTypes[] = {PartType::kPoint, PartType::kLine, PartType::kRing};
    for (size_t kind = 0; kind < 3; ++kind) {
      for (const TextSpan& span : plans[kind].coordinates) {
        found_[kind].push_back({span.begin, span.begin, span.end, kTypes[kind], 0});
      }
      plans[kind].coordinates.clear();
    }
  }

  // A Polygon or gx:Track element.
  void TakeElement(std::string_view name, const ElementMatch& element) {
    const auto position = static_cast<uint64_t>(element.whole.data() - text_.data());
    const auto begin = static_cast<uint64_t>(element.group.data() - text_.data());
    if (name == "Polygon") {
      polygons_.push_back({position, position + element.whole.size()});
      found_[2].push_back({position, begin, begin + element.group.size(), PartType::kPolygon, 0});
    } else {
      found_[1].push_back({position, begin, begin + element.group.size(), PartType::kTrack, 0});
    }
  }

  // The coordinates texts of the element texts joined at the end (PartIndex::joined).
  void TakeJoined(std::array<KindPlan, 3>& plans, PartIndex& index) {
    static constexpr PartType kTypes[] = {PartType::kPoint, PartType::kLine, PartType::kRing};
    for (size_t kind = 0; kind < 3; ++kind) {
      if (plans[kind].joined_from_here.empty()) continue;
      index.joined.push_back(std::make_unique<std::string>(JoinSpans(text_, plans[kind].joined_from_here)));
      const std::string& joined = *index.joined.back();
      const auto number = static_cast<uint8_t>(index.joined.size());
      ForEachJoinedCoordinates(plans[kind], joined, [&](std::string_view coordinates, size_t position) {
        const auto begin = static_cast<uint64_t>(coordinates.data() - joined.data());
        found_[kind].push_back({position, begin, begin + coordinates.size(), kTypes[kind], number});
      });
    }
  }

  // Places the parts taken that begin before the end of `stretch` (every part, for none: no
  // placemark was read) into `out`.
  void Place(const PlacemarkStretch* stretch, Placed& out);

 private:
  // Whether a ring lies inside a Polygon element, whose region holds it already.
  bool InPolygon(uint64_t position) const {
    auto after = std::upper_bound(polygons_.begin(), polygons_.end(), position,
                                  [](uint64_t p, const TextSpan& s) { return p < s.begin; });
    return after != polygons_.begin() && position < std::prev(after)->end;
  }
  void PlaceMerged(const KmlFeatures* found, Placed& out);

  std::string_view text_;
  const ConversionOptions& options_;
  TableOptions table_;
  bool merged_list_;
  bool records_;  // whether the writing takes the placemarks' values or styles
  std::array<std::vector<FoundPart>, 3> found_;
  std::deque<TextSpan> polygons_;  // the Polygon elements, in order: the rings inside them are theirs
  RowValues values_;
  // Of the placement of one stretch.
  std::vector<bool> used_;
  std::vector<IndexedPart> merged_;        // the parts of a merged list, before they are ordered
  std::vector<int> merged_placemark_;      // their placemarks in the stretch, -1 for none
  std::vector<uint64_t> merged_position_;  // their positions
};

void PartPlacer::Place(const PlacemarkStretch* stretch, Placed& out) {
  const uint64_t stop = stretch ? stretch->stop : UINT64_MAX;
  const KmlFeatures* found = stretch ? stretch->found.get() : nullptr;
  const size_t placemarks = found ? found->placemarks.size() : 0;
  used_.assign(placemarks, options_.empty_rows);
  merged_.clear();
  merged_placemark_.clear();
  merged_position_.clear();
  for (size_t section = 0; section < 3; ++section) {
    std::vector<FoundPart>& parts = found_[section];
    // Found in the order their elements close; placed in the order they begin.
    std::stable_sort(parts.begin(), parts.end(), [](const FoundPart& a, const FoundPart& b) { return a.position < b.position; });
    size_t taken = 0, hint = 0;
    for (; taken < parts.size() && parts[taken].position < stop; ++taken) {
      const FoundPart& part = parts[taken];
      if (options_.polygons && part.type == PartType::kRing && InPolygon(part.position)) continue;
      const int placemark = found ? found->PlacemarkAt(part.position, &hint) : -1;
      // Until the stretch joins the document, `placemark` and `folder` are its placemark's
      // number in the stretch.
      IndexedPart placed{part.begin, part.end, IndexedPart::kNoPlacemark, placemark, part.type, part.joined};
      if (placemark >= 0) {
        used_[static_cast<size_t>(placemark)] = true;
        placed.placemark = static_cast<uint32_t>(placemark);
      }
      if (merged_list_) {
        merged_.push_back(placed);
        merged_placemark_.push_back(placemark);
        merged_position_.push_back(part.position);
      } else {
        out.sections[section].push_back(placed);
      }
    }
    parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(taken));
  }
  // No ring found from now on lies before the stretch's end.
  while (!polygons_.empty() && polygons_.front().end <= stop) polygons_.pop_front();
  if (merged_list_) PlaceMerged(found, out);
  if (!found) return;
  // The rows of the placemarks that give one, and what their writing takes of them.
  for (size_t p = 0; p < placemarks; ++p) {
    if (!used_[p]) continue;
    const Placemark& placemark = found->placemarks[p];
    out.used.push_back(static_cast<uint32_t>(p));
    if (options_.Table()) {
      values_.Collect(*found, placemark, nullptr, table_);
      out.rows.Add(values_, -1, table_);
    }
    if (records_) RowSpool::AppendRecord(*found, placemark, static_cast<uint32_t>(p), values_, options_.styles, out.records);
  }
}

// The parts of each placemark together, in document order, each part outside placemarks on its
// own, and a placemark without parts (--empty-rows) at its opening tag; the objects in the order
// of where they begin.
void PartPlacer::PlaceMerged(const KmlFeatures* found, Placed& out) {
  struct Object {
    uint64_t position;
    size_t first, count;  // of `order`
    int placemark;
  };
  const size_t placemarks = found ? found->placemarks.size() : 0;
  std::vector<size_t> order(merged_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const bool a_in = merged_placemark_[a] >= 0, b_in = merged_placemark_[b] >= 0;
    if (a_in != b_in) return a_in;
    if (!a_in) return false;
    return merged_placemark_[a] != merged_placemark_[b] ? merged_placemark_[a] < merged_placemark_[b]
                                                        : merged_position_[a] < merged_position_[b];
  });
  std::vector<Object> objects;
  std::vector<bool> has_parts(placemarks, false);
  for (size_t i = 0; i < order.size();) {
    const int placemark = merged_placemark_[order[i]];
    size_t end = i + 1;
    if (placemark >= 0) {
      while (end < order.size() && merged_placemark_[order[end]] == placemark) ++end;
      has_parts[static_cast<size_t>(placemark)] = true;
    }
    objects.push_back({merged_position_[order[i]], i, end - i, placemark});
    i = end;
  }
  if (options_.empty_rows) {
    for (size_t p = 0; p < placemarks; ++p) {
      if (!has_parts[p]) objects.push_back({found->placemarks[p].begin, 0, 0, static_cast<int>(p)});
    }
  }
  std::stable_sort(objects.begin(), objects.end(), [](const Object& a, const Object& b) { return a.position < b.position; });
  std::vector<IndexedPart>& list = out.sections[0];
  for (const Object& object : objects) {
    if (object.count == 0) {
      const uint64_t begin = found->placemarks[static_cast<size_t>(object.placemark)].begin;
      list.push_back({begin, begin, static_cast<uint32_t>(object.placemark), object.placemark, PartType::kNone, 0});
      continue;
    }
    for (size_t i = object.first; i < object.first + object.count; ++i) list.push_back(merged_[order[i]]);
  }
}

// The survey as the stretches come in order: each placed on its own where it can be (nothing
// open when it begins or when it ends: its parts are those its own tags give), else in the
// document's order, once no part found later can lie in it.
class Surveyor {
 public:
  Surveyor(std::string_view text, const ConversionOptions& options, DocumentSurvey& survey)
      : text_(text), options_(options), survey_(survey), names_(PartElementNames(options)),
        planner_(text), pairings_(names_.size()), placer_(text, options) {
    survey_.parts.merged = options.multi || options.empty_rows;
  }

  // On the thread that read it: the stretch placed on its own.
  void PlaceAlone(PlacemarkStretch& stretch) const {
    if (!stretch.work) stretch.work = std::make_unique<Placed>();
    Placed& placed = static_cast<Placed&>(*stretch.work);
    placed.Clear();
    ExportPlanner planner(text_, false, /*reserve=*/false);
    planner.Take(stretch.export_tags);
    std::vector<ElementPairing> pairings(names_.size());
    PartPlacer placer(text_, options_);
    placer.TakePlanned(planner.plans());
    if (stretch.element_tags) {
      stretch.element_tags->PairInto(text_, pairings, [&](size_t name, const ElementMatch& element) {
        placer.TakeElement(names_[name], element);
      });
    }
    if (!Closed(planner, pairings)) return;
    placer.Place(&stretch, placed);
    placed.complete = true;
  }

  // In document order.
  template <typename Recycle>
  void Take(std::unique_ptr<PlacemarkStretch> stretch, Recycle recycle) {
    Placed& placed = static_cast<Placed&>(*stretch->work);
    if (pending_.empty() && Closed(planner_, pairings_) && placed.complete) {
      Commit(*stretch, placed);
      recycle(std::move(stretch));
      return;
    }
    planner_.Take(stretch->export_tags);
    placer_.TakePlanned(planner_.plans());
    if (stretch->element_tags) {
      stretch->element_tags->PairInto(text_, pairings_, [&](size_t name, const ElementMatch& element) {
        placer_.TakeElement(names_[name], element);
      });
    }
    pending_.push_back(std::move(stretch));
    // No part found from now on begins before the elements still open.
    uint64_t horizon = planner_.PlannedFrom();
    for (const ElementPairing& pairing : pairings_) horizon = std::min<uint64_t>(horizon, pairing.waiting());
    PlaceUpTo(horizon, recycle);
  }

  template <typename Recycle>
  void Finish(Recycle recycle) {
    placer_.TakeJoined(planner_.plans(), survey_.parts);
    PlaceUpTo(UINT64_MAX, recycle);
  }

 private:
  static bool Closed(const ExportPlanner& planner, const std::vector<ElementPairing>& pairings) {
    if (planner.PlannedFrom() != UINT64_MAX) return false;
    for (const ElementPairing& pairing : pairings) {
      if (pairing.waiting() != std::string_view::npos) return false;
    }
    return true;
  }

  template <typename Recycle>
  void PlaceUpTo(uint64_t horizon, Recycle recycle) {
    while (!pending_.empty() && pending_.front()->stop <= horizon) {
      PlacemarkStretch& stretch = *pending_.front();
      Placed& placed = static_cast<Placed&>(*stretch.work);
      placed.Clear();
      placer_.Place(&stretch, placed);
      Commit(stretch, placed);
      recycle(std::move(pending_.front()));
      pending_.pop_front();
    }
  }

  // The stretch's parts and rows join the document's.
  void Commit(const PlacemarkStretch& stretch, const Placed& placed);

  std::string_view text_;
  const ConversionOptions& options_;
  DocumentSurvey& survey_;
  std::vector<std::string_view> names_;
  ExportPlanner planner_;
  std::vector<ElementPairing> pairings_;
  PartPlacer placer_;
  std::deque<std::unique_ptr<PlacemarkStretch>> pending_;
  uint32_t placemarks_before_ = 0;  // in the stretches committed: the number of the next's first
};

void Surveyor::Commit(const PlacemarkStretch& stretch, const Placed& placed) {
  PartIndex& index = survey_.parts;
  for (size_t s = 0; s < 3; ++s) {
    std::vector<IndexedPart>& section = index.sections[s];
    // Room for the parts of the rest of the text at the rate found so far: the index grows
    // once instead of being copied again and again (which faults in several times its memory).
    if (stretch.stop < text_.size() && stretch.stop > 0) {
      const double rate = static_cast<double>(text_.size()) / static_cast<double>(stretch.stop) * 1.05;
      const auto expected = static_cast<size_t>(static_cast<double>(section.size() + placed.sections[s].size()) * rate);
      if (section.capacity() < expected) section.reserve(std::max(expected, section.capacity() * 2));
    }
    for (IndexedPart part : placed.sections[s]) {
      part.folder = part.folder >= 0 ? stretch.folder_of[static_cast<size_t>(part.folder)] : -1;
      if (part.placemark != IndexedPart::kNoPlacemark) part.placemark += placemarks_before_;
      section.push_back(part);
    }
  }
  if (options_.Table()) {
    survey_.rows.Add(placed.rows, stretch.field_of);
    std::vector<size_t>& in_folder = survey_.rows.rows_in_folder;
    for (uint32_t p : placed.used) {
      const int folder = stretch.folder_of[p];
      if (folder < 0) continue;
      if (static_cast<size_t>(folder) >= in_folder.size()) in_folder.resize(static_cast<size_t>(folder) + 1, 0);
      ++in_folder[static_cast<size_t>(folder)];
    }
  }
  survey_.spool->AddStretch(placed.records, stretch.field_of, placemarks_before_);
  placemarks_before_ += static_cast<uint32_t>(stretch.found->placemarks.size());
}

// The parts of the plain export's records: the plan's coordinates texts of each kind in its
// order, then those of its joined element texts.
void PlaceInPlanOrder(std::string_view text, std::array<KindPlan, 3>& plans, PartIndex& index) {
  static constexpr PartType kTypes[] = {PartType::kPoint, PartType::kLine, PartType::kRing};
  for (size_t kind = 0; kind < 3; ++kind) {
    std::vector<IndexedPart>& section = index.sections[kind];
    std::vector<TextSpan> coordinates = std::move(plans[kind].coordinates);
    section.reserve(coordinates.size());
    for (const TextSpan& span : coordinates) {
      section.push_back({span.begin, span.end, IndexedPart::kNoPlacemark, -1, kTypes[kind], 0});
    }
    coordinates = std::vector<TextSpan>();  // given back before the next kind's grow
    if (plans[kind].joined_from_here.empty()) continue;
    index.joined.push_back(std::make_unique<std::string>(JoinSpans(text, plans[kind].joined_from_here)));
    const std::string& joined = *index.joined.back();
    const auto number = static_cast<uint8_t>(index.joined.size());
    ForEachJoinedCoordinates(plans[kind], joined, [&](std::string_view part, size_t) {
      const auto begin = static_cast<uint64_t>(part.data() - joined.data());
      section.push_back({begin, begin + part.size(), IndexedPart::kNoPlacemark, -1, kTypes[kind], number});
    });
  }
}

// What the reading of the placemarks keeps for `options`.
FeatureReading ReadingFor(const ConversionOptions& options) {
  return {options.plain_descriptions, options.description_fields};
}

}  // namespace

TableOptions TableOptionsFor(const ConversionOptions& options) {
  return {options.typed, options.times, options.plain_descriptions, options.altitude};
}

DocumentSurvey SurveyDocument(const ExportSource& source, const ConversionOptions& options, int threads,
                              size_t block) {
  const std::string_view text = source.text;
  DocumentSurvey survey;
  survey.document = std::make_unique<KmlFeatures>(text, source.encoding);
  survey.spool = std::make_unique<RowSpool>();
  survey.parts.merged = options.multi || options.empty_rows;
  const std::vector<std::string_view> names = PartElementNames(options);
  if (!(options.Table() || options.styles || options.multi)) {
    // No placemark is read: the parts' searches of their own, on all threads.
    PartPlacer placer(text, options);
    std::array<KindPlan, 3> plans = PlanExport(text, threads);
    if (names.empty() && !survey.parts.merged) {
      // Each coordinates text is an object, in the order the plan has them.
      PlaceInPlanOrder(text, plans, survey.parts);
      return survey;
    }
    placer.TakePlanned(plans);
    if (!names.empty()) {
      const std::vector<std::vector<ElementMatch>> elements = FindElementsOfEach(text, names, threads);
      for (size_t n = 0; n < names.size(); ++n) {
        for (const ElementMatch& element : elements[n]) placer.TakeElement(names[n], element);
      }
    }
    placer.TakeJoined(plans, survey.parts);
    Placed placed;
    placer.Place(nullptr, placed);
    for (size_t s = 0; s < 3; ++s) survey.parts.sections[s] = std::move(placed.sections[s]);
    return survey;
  }
  Surveyor surveyor(text, options, survey);
  StretchReading how;
  how.reading = ReadingFor(options);
  how.export_tags = true;
  how.element_names = names;
  how.in_worker = [&](PlacemarkStretch& stretch) { surveyor.PlaceAlone(stretch); };
  PlacemarkStretches stretches(text, source.encoding, how, *survey.document);
  auto recycle = [&](std::unique_ptr<PlacemarkStretch> stretch) { stretches.Recycle(std::move(stretch)); };
  stretches.Read(threads, block, [&](std::unique_ptr<PlacemarkStretch> stretch) { surveyor.Take(std::move(stretch), recycle); });
  surveyor.Finish(recycle);
  return survey;
}
