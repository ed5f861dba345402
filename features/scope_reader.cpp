#include "features/scope_reader.h"

#include <algorithm>
#include <cstring>

#include "features/description_fields.h"
#include "features/kml_values.h"

namespace kml_reading {

namespace {

template <size_t N>
bool Is(std::string_view name, const char (&literal)[N]) {
  return std::memcmp(name.data(), literal, N - 1) == 0;
}

}  // namespace

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

namespace {

// Deeper than this, the names of the open elements are counted; below the shallow mark no
// longer. Real documents nest a dozen deep.
constexpr size_t kDeep = 64, kShallow = 32;

}  // namespace

void ScopeReader::Take(const KmlTag& tag, Element element) {
  if (tag.closing) return CloseTo(tag, element);
  stack_.push_back({tag.name.data(), static_cast<uint32_t>(tag.name.size()), element, tag.begin, tag.end});
  Pushed(stack_.back());
  if (element != Element::kOther) Opened(stack_.back(), tag.begin);
  if (tag.empty) CloseTop(tag.end, tag.end);
}

void ScopeReader::Pushed(const Open& open) {
  ++open_elements_[static_cast<size_t>(open.element)];
  if (counting_names_) {
    if (open.element == Element::kOther) ++open_names_[std::string_view(open.name, open.name_size)];
  } else if (stack_.size() > kDeep) {
    counting_names_ = true;
    for (const Open& o : stack_) {
      if (o.element == Element::kOther) ++open_names_[std::string_view(o.name, o.name_size)];
    }
  }
}

void ScopeReader::Popped(const Open& open) {
  --open_elements_[static_cast<size_t>(open.element)];
  if (!counting_names_) return;
  if (stack_.size() < kShallow) {
    counting_names_ = false;
    open_names_.clear();
  } else if (open.element == Element::kOther) {
    auto it = open_names_.find(std::string_view(open.name, open.name_size));
    if (--it->second == 0) open_names_.erase(it);
  }
}

bool ScopeReader::MayBeOpen(const KmlTag& closing, Element element) const {
  if (open_elements_[static_cast<size_t>(element)] == 0) return false;
  return element != Element::kOther || !counting_names_ || open_names_.count(closing.name);
}

void ScopeReader::CloseAll(size_t at) {
  while (!stack_.empty()) CloseTop(at, at);
}

void ScopeReader::CloseTo(const KmlTag& closing, Element element) {
  // A search finds its element among those it pops, or, unless the stack is shallow, is not
  // made: every step is paid for by a push.
  if (!MayBeOpen(closing, element)) return;
  auto it = std::find_if(stack_.rbegin(), stack_.rend(), [&](const Open& o) {
    return o.element == element && (element != Element::kOther || std::string_view(o.name, o.name_size) == closing.name);
  });
  if (it == stack_.rend()) return;
  size_t depth = static_cast<size_t>(stack_.rend() - it);
  while (stack_.size() > depth) CloseTop(closing.begin, closing.begin);
  CloseTop(closing.begin, closing.end);
}

std::string ScopeReader::Attribute(std::string_view tag, std::string_view name) const {
  return DecodeEntities(DecodePart(AttributeValue(tag, name), encoding_));
}

std::string ScopeReader::Id(std::string_view tag) const {
  std::string id = Attribute(tag, "id");
  return id.empty() ? Attribute(tag, "kml:id") : id;
}

void ScopeReader::KeepFirst(ValueRef Placemark::*slot, uint8_t bit, TextSpan span, bool whole) {
  Placemark& placemark = Current();
  if (placemark.given & bit) return;
  placemark.given |= bit;
  placemark.*slot = out_.Keep(span, whole);
}

PlacemarkTimes& ScopeReader::Times() {
  Placemark& placemark = Current();
  if (placemark.times == Placemark::kNoTimes) {
    placemark.times = static_cast<uint32_t>(out_.times.size());
    out_.times.emplace_back();
  }
  return out_.times[placemark.times];
}

void ScopeReader::KeepFirstTime(ValueRef PlacemarkTimes::*slot, uint8_t bit, TextSpan span) {
  if (Current().given & bit) return;
  Current().given |= bit;
  Times().*slot = out_.Keep(span, true);
}

void ScopeReader::TrackClosed() {
  if (track_first_.end == 0 || open_placemarks_.empty()) return;
  if (!(Current().given & (KmlFeatures::kTimeBegin | KmlFeatures::kTrackBegin))) {
    Times().begin = out_.Keep(track_first_, true);
    Current().given |= KmlFeatures::kTrackBegin;
  }
  if (!(Current().given & KmlFeatures::kTimeEnd)) Times().end = out_.Keep(track_last_, true);
  track_first_ = track_last_ = {0, 0};
}

void ScopeReader::EndSpan(size_t at) {
  if (at > span_start_) out_.spans.push_back({span_start_, at, open_placemarks_.back()});
  span_start_ = at;
}

void ScopeReader::AddDescriptionFields(TextSpan span) {
  const std::string text = DecodePart(text_.substr(span.begin, span.end - span.begin), encoding_);
  for (const DescriptionField& field : DescriptionFields(text)) {
    pending_data_.back().push_back({FieldIndex(std::string(kDescribed) + field.name), out_.KeepText(field.value)});
  }
}

void ScopeReader::LeaveOutDescribedTwice(Placemark& placemark, std::vector<DataValue>& values) {
  auto described = [&](const DataValue& value) {
    return std::string_view(out_.fields[static_cast<size_t>(value.field)]).starts_with(kDescribed);
  };
  std::vector<std::string_view> given;
  for (const DataValue& value : values) {
    if (!described(value)) given.push_back(out_.fields[static_cast<size_t>(value.field)]);
  }
  if (given.empty()) return;
  std::sort(given.begin(), given.end());
  std::erase_if(values, [&](const DataValue& value) {
    if (!described(value)) return false;
    const std::string_view name = std::string_view(out_.fields[static_cast<size_t>(value.field)]).substr(kDescribed.size());
    if (!std::binary_search(given.begin(), given.end(), name)) return false;
    placemark.given |= KmlFeatures::kDescribedTwice;
    return true;
  });
}

int ScopeReader::FieldIndex(const std::string& name) {
  auto [it, added] = field_index_.emplace(name, static_cast<int>(out_.fields.size()));
  if (added) out_.fields.push_back(name);
  return it->second;
}

void ScopeReader::Opened(const Open& open, size_t begin) {
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

void ScopeReader::CloseTop(size_t content_end, size_t end) {
  Open open = stack_.back();
  stack_.pop_back();
  Popped(open);
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
      if (reading_.description_fields) LeaveOutDescribedTwice(placemark, pending_data_.back());
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
        out_.folders[static_cast<size_t>(folders_.back())].name = out_.FolderName({open.content_begin, content_end});
      }
      break;
    case Element::kDescription:
      if (parent == Element::kPlacemark) {
        if (reading_.description_fields && !(Current().given & KmlFeatures::kDescription)) {
          AddDescriptionFields({open.content_begin, content_end});
        }
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
      if (type == "int" || type == "short") field = FieldType::kInteger;
      if (type == "ushort") field = FieldType::kUnsignedInteger;
      if (type == "float" || type == "double") field = FieldType::kFloat;
      if (type == "uint") field = FieldType::kUnsignedFloat;
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

void ScopeReader::SetStyleValue(Element element, Element parent, std::string value) {
  if (open_elements_[static_cast<size_t>(Element::kStyle)] == 0) return;
  if (parent == Element::kLineStyle && element == Element::kColor) style_.line_color = std::move(value);
  if (parent == Element::kLineStyle && element == Element::kWidth) style_.line_width = std::move(value);
  if (parent == Element::kPolyStyle && element == Element::kColor) style_.poly_color = std::move(value);
  if (parent == Element::kPolyStyle && element == Element::kFill) style_.fill = std::move(value);
  if (parent == Element::kPolyStyle && element == Element::kOutline) style_.outline = std::move(value);
  if (parent == Element::kIconStyle && element == Element::kColor) style_.icon_color = std::move(value);
  if (parent == Element::kIconStyle && element == Element::kScale) style_.icon_scale = std::move(value);
}

}  // namespace kml_reading
