#include "features/kml_features.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "features/kml_values.h"
#include "features/kml_walk.h"
#include "mif/ordered_parallel.h"

namespace {

// The elements the reader follows; every other one only counts for the nesting.
enum class Element : uint8_t {
  kOther, kPlacemark, kFolder, kDocument, kKml, kName, kDescription, kData, kValue, kSimpleData,
  kStyle, kStyleMap, kPair, kKey, kStyleUrl, kLineStyle, kPolyStyle, kIconStyle,
  kColor, kWidth, kFill, kOutline, kScale, kSimpleField, kCascadingStyle,
  kTimeStamp, kTimeSpan, kWhen, kBegin, kEnd, kTrack,
};

template <size_t N>
bool Is(std::string_view name, const char (&literal)[N]) {
  return std::memcmp(name.data(), literal, N - 1) == 0;
}

// By length and first letter: a tag that is none of them is rejected in a comparison or two.
Element ElementOf(std::string_view name) {
  switch (name.size()) {
    case 3:
      if (Is(name, "key")) return Element::kKey;
      if (Is(name, "kml")) return Element::kKml;
      if (Is(name, "end")) return Element::kEnd;
      break;
    case 4:
      if (Is(name, "name")) return Element::kName;
      if (Is(name, "Data")) return Element::kData;
      if (Is(name, "fill")) return Element::kFill;
      if (Is(name, "Pair")) return Element::kPair;
      if (Is(name, "when")) return Element::kWhen;
      break;
    case 5:
      if (Is(name, "value")) return Element::kValue;
      if (Is(name, "color")) return Element::kColor;
      if (Is(name, "width")) return Element::kWidth;
      if (Is(name, "scale")) return Element::kScale;
      if (Is(name, "Style")) return Element::kStyle;
      if (Is(name, "begin")) return Element::kBegin;
      if (Is(name, "Track")) return Element::kTrack;
      break;
    case 6:
      if (Is(name, "Folder")) return Element::kFolder;
      break;
    case 7:
      if (Is(name, "outline")) return Element::kOutline;
      break;
    case 8:
      if (Is(name, "styleUrl")) return Element::kStyleUrl;
      if (Is(name, "StyleMap")) return Element::kStyleMap;
      if (Is(name, "Document")) return Element::kDocument;
      if (Is(name, "TimeSpan")) return Element::kTimeSpan;
      break;
    case 9:
      if (Is(name, "Placemark")) return Element::kPlacemark;
      if (Is(name, "LineStyle")) return Element::kLineStyle;
      if (Is(name, "PolyStyle")) return Element::kPolyStyle;
      if (Is(name, "IconStyle")) return Element::kIconStyle;
      if (Is(name, "TimeStamp")) return Element::kTimeStamp;
      break;
    case 10:
      if (Is(name, "SimpleData")) return Element::kSimpleData;
      break;
    case 11:
      if (Is(name, "description")) return Element::kDescription;
      if (Is(name, "SimpleField")) return Element::kSimpleField;
      break;
    case 14:
      if (Is(name, "CascadingStyle")) return Element::kCascadingStyle;
      break;
  }
  return Element::kOther;
}

// A Placemark left open ends where a Folder or Document begins or ends, or the kml element
// ends: what holds placemarks is read outside them.
bool EndsOpenPlacemark(Element element, bool closing) {
  return element == Element::kFolder || element == Element::kDocument || (closing && element == Element::kKml);
}

// An open element; kept small, as every tag of the document passes through here.
struct Open {
  const char* name;
  uint32_t name_size;
  Element element;
  uint64_t tag_begin;
  uint64_t content_begin;  // the end of its tag
};

// Reads the tags of one scope in order: either the content of placemarks, one at a time, or
// what lies outside them (folders, shared styles). Each element closes at its closing tag;
// one left open closes with the element around it.
class ScopeReader {
 public:
  ScopeReader(std::string_view text, Encoding encoding, KmlFeatures& out, FeatureReading reading)
      : text_(text), encoding_(encoding), out_(out), reading_(reading) {}

  void Take(const KmlTag& tag, Element element) {
    if (tag.closing) return CloseTo(tag, element);
    stack_.push_back({tag.name.data(), static_cast<uint32_t>(tag.name.size()), element, tag.begin, tag.end});
    if (element != Element::kOther) Opened(stack_.back(), tag.begin);
    if (tag.empty) CloseTop(tag.end, tag.end);
  }

  // Closes every open element at `at`.
  void CloseAll(size_t at) {
    while (!stack_.empty()) CloseTop(at, at);
  }

  bool Empty() const { return stack_.empty(); }
  int Folder() const { return folders_.empty() ? -1 : folders_.back(); }

 private:
  // Pops to the open element that `closing` closes; a closing tag of nothing open is ignored.
  void CloseTo(const KmlTag& closing, Element element) {
    auto it = std::find_if(stack_.rbegin(), stack_.rend(), [&](const Open& o) {
      return o.element == element && (element != Element::kOther || std::string_view(o.name, o.name_size) == closing.name);
    });
    if (it == stack_.rend()) return;
    size_t depth = static_cast<size_t>(stack_.rend() - it);
    while (stack_.size() > depth) CloseTop(closing.begin, closing.begin);
    CloseTop(closing.begin, closing.end);
  }

  int Innermost(Element element) const {
    for (size_t i = stack_.size(); i-- > 0;) {
      if (stack_[i].element == element) return static_cast<int>(i);
    }
    return -1;
  }

  std::string Text(size_t begin, size_t end) const { return out_.Text({begin, end}); }
  std::string_view TagOf(const Open& open) const { return text_.substr(open.tag_begin, open.content_begin - open.tag_begin); }
  std::string Attribute(std::string_view tag, std::string_view name) const {
    return DecodeEntities(DecodePart(AttributeValue(tag, name), encoding_));
  }
  // An id, also as gx:CascadingStyle writes it: kml:id="x".
  std::string Id(std::string_view tag) const {
    std::string id = Attribute(tag, "id");
    return id.empty() ? Attribute(tag, "kml:id") : id;
  }

  // The innermost open placemark: a placemark nested in another (invalid, but seen) is open
  // until it closes, and the other is open again after it.
  Placemark& Current() { return out_.placemarks[static_cast<size_t>(open_placemarks_.back())]; }

  // A placemark's name, description, styleUrl or time: the first one it has counts.
  void KeepFirst(ValueRef Placemark::*slot, uint8_t bit, TextSpan span, bool whole = false) {
    Placemark& placemark = Current();
    if (placemark.given & bit) return;
    placemark.given |= bit;
    placemark.*slot = out_.Keep(span, whole);
  }

  // The innermost open placemark's times, made when it gets its first.
  PlacemarkTimes& Times() {
    Placemark& placemark = Current();
    if (placemark.times == Placemark::kNoTimes) {
      placemark.times = static_cast<uint32_t>(out_.times.size());
      out_.times.emplace_back();
    }
    return out_.times[placemark.times];
  }

  // A placemark's time: the first one of each kind counts.
  void KeepFirstTime(ValueRef PlacemarkTimes::*slot, uint8_t bit, TextSpan span) {
    if (Current().given & bit) return;
    Current().given |= bit;
    Times().*slot = out_.Keep(span, true);
  }

  // A track's <when> elements give the placemark's begin and end when no TimeSpan does.
  void TrackClosed() {
    if (track_first_.end == 0 || open_placemarks_.empty()) return;
    if (!(Current().given & (KmlFeatures::kTimeBegin | KmlFeatures::kTrackBegin))) {
      Times().begin = out_.Keep(track_first_, true);
      Current().given |= KmlFeatures::kTrackBegin;
    }
    if (!(Current().given & KmlFeatures::kTimeEnd)) Times().end = out_.Keep(track_last_, true);
    track_first_ = track_last_ = {0, 0};
  }

  // A placemark's values wait until it closes, so that those of each placemark lie together
  // even when another placemark is nested in it.
  void AddData(int field, TextSpan value) { pending_data_.back().push_back({field, out_.Keep(value)}); }

  // The text from `span_start_` to `at` is the innermost open placemark's own.
  void EndSpan(size_t at) {
    if (at > span_start_) out_.spans.push_back({span_start_, at, open_placemarks_.back()});
    span_start_ = at;
  }

  int FieldIndex(const std::string& name) {
    auto [it, added] = field_index_.emplace(name, static_cast<int>(out_.fields.size()));
    if (added) out_.fields.push_back(name);
    return it->second;
  }
  void Opened(const Open& open, size_t begin) {
    switch (open.element) {
      case Element::kPlacemark: {
        if (!open_placemarks_.empty()) EndSpan(begin);
        Placemark placemark;
        placemark.begin = begin;
        open_placemarks_.push_back(static_cast<int>(out_.placemarks.size()));
        pending_data_.emplace_back();
        out_.placemarks.push_back(placemark);
        span_start_ = begin;
        break;
      }
      case Element::kFolder:
        folders_.push_back(static_cast<int>(out_.folders.size()));
        out_.folders.push_back({folders_.size() >= 2 ? folders_[folders_.size() - 2] : -1, ""});
        break;
      case Element::kData:
        data_name_ = Attribute(TagOf(open), "name");
        break;
      case Element::kStyle:
        style_ = KmlStyle();
        break;
      case Element::kCascadingStyle:
        cascading_id_ = Id(TagOf(open));
        break;
      case Element::kPair:
        pair_key_.clear();
        pair_url_.clear();
        pair_style_.reset();
        break;
      default:
        break;
    }
  }

  void CloseTop(size_t content_end, size_t end) {
    Open open = stack_.back();
    stack_.pop_back();
    if (open.element == Element::kOther) return;
    const bool in_placemark = !stack_.empty() && stack_[0].element == Element::kPlacemark;
    const Element parent = stack_.empty() ? Element::kOther : stack_.back().element;
    // A TimeStamp or TimeSpan is the placemark's own when it stands in it, not in its view.
    const bool placemark_time = stack_.size() >= 2 && stack_[stack_.size() - 2].element == Element::kPlacemark;
    switch (open.element) {
      case Element::kPlacemark: {
        Placemark& placemark = Current();
        placemark.end = end;
        EndSpan(end);
        placemark.first_data = static_cast<uint32_t>(out_.data.size());
        placemark.data_count = static_cast<uint32_t>(pending_data_.back().size());
        out_.data.insert(out_.data.end(), pending_data_.back().begin(), pending_data_.back().end());
        pending_data_.pop_back();
        open_placemarks_.pop_back();
        break;
      }
      case Element::kFolder:
        folders_.pop_back();
        break;
      case Element::kName:
        if (parent == Element::kPlacemark) {
          KeepFirst(&Placemark::name, KmlFeatures::kName, {open.content_begin, content_end});
        } else if (parent == Element::kFolder && !folders_.empty()) {
          out_.folders[static_cast<size_t>(folders_.back())].name = Text(open.content_begin, content_end);
        }
        break;
      case Element::kDescription:
        if (parent == Element::kPlacemark) {
          KeepFirst(&Placemark::description, KmlFeatures::kDescription, {open.content_begin, content_end},
                    reading_.whole_descriptions);
        }
        break;
      case Element::kValue:
        if (parent == Element::kData && in_placemark) {
          AddData(FieldIndex(data_name_), {open.content_begin, content_end});
          out_.untyped_fields[data_name_] = true;
          data_name_.clear();
        }
        break;
      case Element::kWhen:
        if (!in_placemark) break;
        if (parent == Element::kTimeStamp && placemark_time) {
          KeepFirstTime(&PlacemarkTimes::stamp, KmlFeatures::kTimeStamp, {open.content_begin, content_end});
        } else if (parent == Element::kTrack) {
          if (track_first_.end == 0) track_first_ = {open.content_begin, content_end};
          track_last_ = {open.content_begin, content_end};
        }
        break;
      case Element::kBegin:
      case Element::kEnd:
        if (in_placemark && parent == Element::kTimeSpan && placemark_time) {
          const bool begin = open.element == Element::kBegin;
          KeepFirstTime(begin ? &PlacemarkTimes::begin : &PlacemarkTimes::end,
                        begin ? KmlFeatures::kTimeBegin : KmlFeatures::kTimeEnd, {open.content_begin, content_end});
        }
        break;
      case Element::kTrack:
        TrackClosed();
        break;
      case Element::kSimpleField: {
        const std::string type = Attribute(TagOf(open), "type");
        FieldType field = FieldType::kText;
        if (type == "int" || type == "short" || type == "ushort") field = FieldType::kInteger;
        if (type == "uint" || type == "float" || type == "double") field = FieldType::kFloat;
        if (type == "bool") field = FieldType::kLogical;
        out_.AddFieldType(Attribute(TagOf(open), "name"), field);
        break;
      }
      case Element::kSimpleData:
        if (in_placemark) AddData(FieldIndex(Attribute(TagOf(open), "name")), {open.content_begin, content_end});
        break;
      case Element::kKey:
        if (parent == Element::kPair) pair_key_ = Text(open.content_begin, content_end);
        break;
      case Element::kStyleUrl:
        if (parent == Element::kPlacemark) {
          KeepFirst(&Placemark::style_url, KmlFeatures::kStyleUrl, {open.content_begin, content_end}, /*whole=*/true);
        } else if (parent == Element::kPair) {
          pair_url_ = Text(open.content_begin, content_end);
        }
        break;
      case Element::kColor:
      case Element::kWidth:
      case Element::kFill:
      case Element::kOutline:
      case Element::kScale:
        SetStyleValue(open.element, parent, Text(open.content_begin, content_end));
        break;
      case Element::kStyle:
        if (parent == Element::kPlacemark) {
          Current().inline_style = static_cast<int>(out_.inline_styles.size());
          out_.inline_styles.push_back(style_);
        } else if (parent == Element::kPair) {
          pair_style_ = style_;
        } else if (parent == Element::kCascadingStyle) {
          // Google Earth Pro's shared styles: the id is the CascadingStyle's.
          if (!cascading_id_.empty()) out_.styles.emplace(cascading_id_, style_);
        } else if (std::string id = Id(TagOf(open)); !id.empty()) {
          out_.styles.emplace(id, style_);
        }
        break;
      case Element::kPair:
        if (pair_key_ == "normal") {
          pair_normal_url_ = pair_url_;
          pair_normal_style_ = pair_style_;
        }
        break;
      case Element::kStyleMap:
        if (std::string id = Attribute(TagOf(open), "id"); !id.empty()) {
          if (pair_normal_style_) out_.style_map_styles.emplace(id, *pair_normal_style_);
          if (!pair_normal_url_.empty()) out_.style_maps.emplace(id, pair_normal_url_);
        }
        pair_normal_url_.clear();
        pair_normal_style_.reset();
        break;
      default:
        break;
    }
  }

  void SetStyleValue(Element element, Element parent, std::string value) {
    if (Innermost(Element::kStyle) < 0) return;
    if (parent == Element::kLineStyle && element == Element::kColor) style_.line_color = std::move(value);
    if (parent == Element::kLineStyle && element == Element::kWidth) style_.line_width = std::move(value);
    if (parent == Element::kPolyStyle && element == Element::kColor) style_.poly_color = std::move(value);
    if (parent == Element::kPolyStyle && element == Element::kFill) style_.fill = std::move(value);
    if (parent == Element::kPolyStyle && element == Element::kOutline) style_.outline = std::move(value);
    if (parent == Element::kIconStyle && element == Element::kColor) style_.icon_color = std::move(value);
    if (parent == Element::kIconStyle && element == Element::kScale) style_.icon_scale = std::move(value);
  }

  std::string_view text_;
  Encoding encoding_;
  KmlFeatures& out_;
  FeatureReading reading_;
  std::vector<Open> stack_;
  std::vector<int> open_placemarks_;                 // indices into out_.placemarks, innermost last
  std::vector<std::vector<DataValue>> pending_data_;  // of each open placemark
  size_t span_start_ = 0;                            // where the innermost open placemark's own text resumed
  std::vector<int> folders_;  // open folders, innermost last
  std::unordered_map<std::string, int> field_index_;
  std::string data_name_;
  KmlStyle style_;
  std::string pair_key_, pair_url_, pair_normal_url_, cascading_id_;
  TextSpan track_first_{0, 0}, track_last_{0, 0};  // of the open gx:Track
  std::optional<KmlStyle> pair_style_, pair_normal_style_;
};


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

}  // namespace

ValueRef KmlFeatures::Keep(TextSpan span, bool whole) {
  std::string_view raw = text_.substr(span.begin, span.end - span.begin);
  const size_t at = values.size();
  if (!NeedsNoCleaning(raw)) {
    values += CleanValue(DecodePart(raw, encoding_));
  } else if (HasHighByte(raw)) {
    AppendDecodedPart(raw, encoding_, values);
  } else {
    values.append(raw);
  }
  const size_t size = values.size() - at;
  ValueRef value{at, static_cast<uint32_t>(std::min<size_t>(size, UINT32_MAX)), 0};
  value.kept = static_cast<uint32_t>(whole ? value.size : std::min<size_t>(value.size, kKeptBytes));
  values.resize(at + value.kept);
  return value;
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
  auto [it, added] = field_types.emplace(name, type);
  if (!added && it->second != type) it->second = FieldType::kText;
}

std::string KmlFeatures::FolderPath(int folder) const {
  std::string path;
  for (int f = folder; f >= 0; f = folders[static_cast<size_t>(f)].parent) {
    path.insert(0, f == folder ? folders[static_cast<size_t>(f)].name : folders[static_cast<size_t>(f)].name + "/");
  }
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
