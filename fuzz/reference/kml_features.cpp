#include "fuzz/reference/kml_features.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "features/kml_values.h"
#include "features/kml_walk.h"
#include "fuzz/reference/scope_reader.h"
#include "mif/ordered_parallel.h"

namespace reference {

namespace {

using kml_reading::Element;
using kml_reading::ElementOf;
using kml_reading::EndsOpenPlacemark;
using kml_reading::ScopeReader;

// What a stretch of the document holds, read on its own: from a Placemark tag that a walk
// from the beginning takes (or from the beginning) to the first Placemark tag at or after a
// given place. Its placemarks lack their folders and number its fields on their own; the
// tags outside placemarks are kept for the reader of the whole.
struct Stretch {
  size_t start = std::string_view::npos;
  size_t stop = std::string_view::npos;  // where the next stretch starts: a Placemark tag, or the end
  std::unique_ptr<KmlFeatures> found;
  struct Outside {
    KmlTag tag;
    Element element;
    size_t placemarks_before;  // of found->placemarks
  };
  std::vector<Outside> outside;
  std::vector<ScannedTag> export_tags;  // those that begin in [start, stop), when asked for
  std::optional<NamedTagScan> element_tags;  // the same
};

// Empties a stretch that was merged for the next one, keeping the memory of its long lists:
// touched once, instead of being given back to the system and faulted in for every stretch.
void Empty(Stretch& stretch) {
  stretch.start = stretch.stop = std::string_view::npos;
  stretch.outside.clear();
  stretch.export_tags.clear();
  stretch.element_tags.reset();
  if (!stretch.found) return;
  KmlFeatures& found = *stretch.found;
  KmlFeatures empty(found.text(), found.encoding());
  empty.placemarks = std::move(found.placemarks);
  empty.spans = std::move(found.spans);
  empty.data = std::move(found.data);
  empty.values = std::move(found.values);
  found = std::move(empty);
  found.placemarks.clear();
  found.spans.clear();
  found.data.clear();
  found.values.clear();
}

// Reads the stretch from `start` into `stretch`, an empty one.
Stretch ReadStretch(Stretch stretch, std::string_view text, Encoding encoding, size_t start, size_t stop_from,
                    bool export_tags, FeatureReading reading, const NamedTagScan* elements) {
  stretch.start = start;
  stretch.stop = text.size();
  if (!stretch.found) stretch.found = std::make_unique<KmlFeatures>(text, encoding);
  ScopeReader placemark(text, encoding, *stretch.found, reading);
  auto visit = [&](const KmlTag& tag) {
    const Element element = ElementOf(tag.name);
    if (element == Element::kPlacemark && !tag.closing) {
      // A stretch ends at a placemark outside every other; one inside another is nested in it.
      if (tag.begin >= stop_from && tag.begin != start && placemark.Empty()) {
        stretch.stop = tag.begin;
        return false;
      }
      placemark.Take(tag, element);
    } else if (!placemark.Empty() && !EndsOpenPlacemark(element, tag.closing)) {
      placemark.Take(tag, element);  // "</Placemark>" closes it
    } else if (element != Element::kPlacemark) {
      placemark.CloseAll(tag.begin);
      stretch.outside.push_back({tag, element, stretch.found->placemarks.size()});
    }
    return true;
  };
  if (elements) stretch.element_tags = elements->Fresh();
  if (export_tags || elements) {
    WalkKml(text, start, visit, [&](size_t at) {
      if (export_tags) ScanExportTagAt(text, at, stretch.export_tags);
      if (elements) stretch.element_tags->At(text, at);
    });
    // The tag the walk stopped at begins the next stretch (a Placemark tag: no element's).
    while (!stretch.export_tags.empty() && stretch.export_tags.back().begin >= stretch.stop) stretch.export_tags.pop_back();
  } else {
    WalkKml(text, start, visit);
  }
  placemark.CloseAll(stretch.stop);
  return stretch;
}

// The first Placemark tag from `from` to `to`, whether a walk takes it or not; npos for none.
size_t FirstPlacemarkTag(std::string_view text, size_t from, size_t to) {
  size_t found = std::string_view::npos;
  kml_walk_internal::Unterminated unterminated;
  ForEachByte(text, from, to, '<', [&](size_t at) {
    if (at + 1 < text.size() && text[at + 1] == '/') return true;
    KmlTag tag;
    if (kml_walk_internal::ReadMarkup(text, at, unterminated, tag) == std::string_view::npos || tag.closing ||
        ElementOf(tag.name) != Element::kPlacemark) {
      return true;
    }
    found = at;
    return false;
  });
  return found;
}

// Adds the stretches, in order, to the features of the whole document.
class StretchMerger {
 public:
  StretchMerger(KmlFeatures& features, ExportPlanner* planner, NamedTagScan* elements, FeatureReading reading)
      : features_(features),
        outside_(features.text(), features.encoding(), features, reading),
        planner_(planner),
        elements_(elements) {}

  void Add(Stretch& stretch) {
    if (planner_) planner_->Take(stretch.export_tags);
    if (elements_) elements_->Append(*stretch.element_tags);
    const KmlFeatures& found = *stretch.found;
    std::vector<int> field_of(found.fields.size());
    for (size_t f = 0; f < found.fields.size(); ++f) {
      auto [it, added] = field_index_.emplace(found.fields[f], static_cast<int>(features_.fields.size()));
      if (added) features_.fields.push_back(found.fields[f]);
      field_of[f] = it->second;
    }
    const uint64_t values_offset = features_.values.size();
    features_.values.append(found.values);
    auto moved = [&](ValueRef value) {
      value.at += values_offset;
      return value;
    };
    const auto data_offset = static_cast<uint32_t>(features_.data.size());
    for (const DataValue& value : found.data) {
      features_.data.push_back({field_of[static_cast<size_t>(value.field)], moved(value.value)});
    }
    const auto times_offset = static_cast<uint32_t>(features_.times.size());
    for (const PlacemarkTimes& times : found.times) {
      features_.times.push_back({moved(times.stamp), moved(times.begin), moved(times.end)});
    }
    const auto style_offset = static_cast<int>(features_.inline_styles.size());
    features_.inline_styles.insert(features_.inline_styles.end(), found.inline_styles.begin(), found.inline_styles.end());
    for (const auto& [name, type] : found.field_types) features_.AddFieldType(name, type);
    for (const auto& [name, untyped] : found.untyped_fields) features_.untyped_fields[name] = untyped;
    features_.unrepresented += found.unrepresented;
    const auto placemark_offset = static_cast<int>(features_.placemarks.size());
    for (PlacemarkSpan span : found.spans) {
      span.placemark += placemark_offset;
      features_.spans.push_back(span);
    }

    size_t next = 0;
    auto add_placemarks_to = [&](size_t end) {
      for (; next < end; ++next) {
        Placemark placemark = found.placemarks[next];
        placemark.folder = outside_.Folder();
        placemark.first_data += data_offset;
        placemark.name = moved(placemark.name);
        placemark.description = moved(placemark.description);
        placemark.style_url = moved(placemark.style_url);
        if (placemark.times != Placemark::kNoTimes) placemark.times += times_offset;
        if (placemark.inline_style >= 0) placemark.inline_style += style_offset;
        features_.placemarks.push_back(placemark);
      }
    };
    for (const Stretch::Outside& outside : stretch.outside) {
      add_placemarks_to(outside.placemarks_before);
      outside_.Take(outside.tag, outside.element);
    }
    add_placemarks_to(found.placemarks.size());
    ReserveForTheRest(stretch.stop);
  }

  void Finish() { outside_.CloseAll(features_.text().size()); }

 private:
  // Room for the rest of the text at the rate found up to `read`: the lists grow once instead
  // of being copied again and again (which faults in several times their memory).
  void ReserveForTheRest(size_t read) {
    if (read == 0 || read >= features_.text().size()) return;
    const double rate = static_cast<double>(features_.text().size()) / static_cast<double>(read) * 1.05;
    auto reserve = [&](auto& list) {
      const auto expected = static_cast<size_t>(static_cast<double>(list.size()) * rate);
      // A list that outgrows the guess grows as it would without one.
      if (list.capacity() < expected) list.reserve(std::max(expected, list.capacity() * 2));
    };
    reserve(features_.placemarks);
    reserve(features_.spans);
    reserve(features_.data);
    reserve(features_.values);
  }

  KmlFeatures& features_;
  ScopeReader outside_;
  ExportPlanner* planner_;
  NamedTagScan* elements_;
  std::unordered_map<std::string, int> field_index_;
};

// "#id" names a style of this document; "other.kml#id" one of another, which is not read.
std::string_view LocalId(std::string_view url) {
  return url.substr(0, 1) == "#" ? url.substr(1) : std::string_view();
}

}  // namespace

KmlFeatures ReadFeatures(std::string_view text, Encoding encoding, int threads, size_t block, ExportPlanner* planner,
                         FeatureReading reading, NamedTagScan* elements) {
  KmlFeatures features(text, encoding);
  StretchMerger merger(features, planner, elements, reading);
  const bool export_tags = planner != nullptr;
  block = std::max<size_t>(block, 1);
  if (text.size() <= block || threads <= 1) {
    Stretch whole = ReadStretch(Stretch(), text, encoding, 0, std::string_view::npos, export_tags, reading, elements);
    merger.Add(whole);
    merger.Finish();
    return features;
  }
  // Each block's stretch starts at its first Placemark tag, on the guess that the walk takes
  // it. The stretch before runs on to the first Placemark tag of this block that the walk
  // takes: where the two differ (the tag lies in a comment or CDATA section), this block's
  // stretch is read again from there.
  const size_t blocks = (text.size() + block - 1) / block;
  size_t walked_to = 0;  // where the next stretch starts
  Pool<Stretch> pool;     // stretches merged, emptied
  OrderedParallel<Stretch>(
      blocks, threads, 4,
      [&](size_t i) {
        const size_t block_end = std::min(text.size(), (i + 1) * block);
        size_t start = i == 0 ? 0 : FirstPlacemarkTag(text, i * block, block_end);
        if (start == std::string_view::npos) return pool.Take();
        return ReadStretch(pool.Take(), text, encoding, start, block_end, export_tags, reading, elements);
      },
      [&](size_t i, Stretch& stretch) {
        const size_t block_end = std::min(text.size(), (i + 1) * block);
        if (walked_to < block_end) {  // else an earlier stretch ran past this block
          if (stretch.start != walked_to) {
            Empty(stretch);
            stretch = ReadStretch(std::move(stretch), text, encoding, walked_to, block_end, export_tags, reading, elements);
          }
          merger.Add(stretch);
          walked_to = stretch.stop;
        }
        Empty(stretch);
        pool.Give(stretch);
        return true;
      });
  merger.Finish();
  return features;
}

namespace {

// Whether cleaning would leave `raw` as it is, but for the conversion of its characters: it
// holds no markup, entities, line breaks or tabs, and no blanks at its ends. Most names and
// data values do not.
bool NeedsNoCleaning(std::string_view raw) {
  if (raw.empty()) return true;
  if (raw.front() == ' ' || raw.back() == ' ') return false;
  for (char c : raw) {
    if (c == '&' || c == '<' || c == '\t' || c == '\r' || c == '\n') return false;
  }
  return true;
}

// How many more "?" the cleaned `value` holds than its `raw` text: those that stand for
// characters GBK lacks, entities of them, and bytes of no character.
size_t AddedMarks(std::string_view raw, std::string_view value) {
  const auto marks = [](std::string_view text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '?')); };
  const size_t before = marks(raw), after = marks(value);
  return after > before ? after - before : 0;
}

}  // namespace

ValueRef KmlFeatures::Keep(TextSpan span, bool whole) {
  std::string_view raw = text_.substr(span.begin, span.end - span.begin);
  const size_t at = values.size();
  if (!NeedsNoCleaning(raw)) {
    values += CleanValue(DecodePart(raw, encoding_));
    unrepresented += AddedMarks(raw, std::string_view(values).substr(at));
  } else if (HasHighByte(raw)) {
    AppendDecodedPart(raw, encoding_, values);
    unrepresented += AddedMarks(raw, std::string_view(values).substr(at));
  } else {
    values.append(raw);
  }
  const size_t size = values.size() - at;
  ValueRef value{at, static_cast<uint32_t>(std::min<size_t>(size, UINT32_MAX)), 0};
  value.kept = static_cast<uint32_t>(whole ? value.size : std::min<size_t>(value.size, kKeptBytes));
  values.resize(at + value.kept);
  return value;
}

std::string KmlFeatures::FolderName(TextSpan span) {
  std::string name = Text(span);
  unrepresented += AddedMarks(text_.substr(span.begin, span.end - span.begin), name);
  return name;
}

std::string KmlFeatures::Text(TextSpan span) const {
  std::string_view raw = text_.substr(span.begin, span.end - span.begin);
  // Converting never makes the bytes that cleaning looks for: in GBK they are never part of
  // a character of two bytes.
  if (NeedsNoCleaning(raw)) return HasHighByte(raw) ? DecodePart(raw, encoding_) : std::string(raw);
  return CleanValue(DecodePart(raw, encoding_));
}

int KmlFeatures::PlacemarkAt(size_t at, size_t* hint) const {
  size_t s = *hint;
  // A few steps forward from the hint, else a binary search.
  for (int step = 0; s < spans.size() && spans[s].end <= at; ++s) {
    if (++step == 8) {
      auto it = std::upper_bound(spans.begin() + static_cast<ptrdiff_t>(s), spans.end(), at,
                                 [](size_t position, const PlacemarkSpan& span) { return position < span.begin; });
      if (it == spans.begin()) return -1;
      s = static_cast<size_t>(it - spans.begin()) - 1;
      break;
    }
  }
  if (s >= spans.size() || at < spans[s].begin || at >= spans[s].end) return -1;
  *hint = s;
  return spans[s].placemark;
}

void KmlFeatures::AddFieldType(const std::string& name, FieldType type) {
  auto signed_kind = [](FieldType t) {
    return t == FieldType::kUnsignedInteger ? FieldType::kInteger : t == FieldType::kUnsignedFloat ? FieldType::kFloat : t;
  };
  auto [it, added] = field_types.emplace(name, type);
  if (added || it->second == type) return;
  it->second = signed_kind(it->second) == signed_kind(type) ? signed_kind(type) : FieldType::kText;
}

std::string KmlFeatures::FolderPath(int folder) const {
  std::vector<const std::string*> names;
  for (int f = folder; f >= 0; f = folders[static_cast<size_t>(f)].parent) names.push_back(&folders[static_cast<size_t>(f)].name);
  std::string path;
  for (size_t i = names.size(); i-- > 0;) path += *names[i] + (i ? "/" : "");
  return path;
}

const KmlStyle* KmlFeatures::StyleOf(const Placemark& placemark) const {
  if (placemark.inline_style >= 0) return &inline_styles[static_cast<size_t>(placemark.inline_style)];
  // A StyleMap's normal style may be another StyleMap: followed 8 deep, so that a loop ends
  // with the default style.
  std::string id(LocalId(Value(placemark.style_url)));
  for (int depth = 0; depth <= 8 && !id.empty(); ++depth) {
    if (auto style = styles.find(id); style != styles.end()) return &style->second;
    if (auto inline_style = style_map_styles.find(id); inline_style != style_map_styles.end()) return &inline_style->second;
    auto map = style_maps.find(id);
    if (map == style_maps.end()) break;
    id = std::string(LocalId(map->second));
  }
  return nullptr;
}

}  // namespace reference
