#include "features/kml_features.h"

#include <algorithm>

#include "features/kml_values.h"

namespace {

// "#id" names a style of this document; "other.kml#id" one of another, which is not read.
std::string_view LocalId(std::string_view url) {
  return url.substr(0, 1) == "#" ? url.substr(1) : std::string_view();
}

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

void KmlFeatures::Clear() {
  placemarks.clear();
  spans.clear();
  data.clear();
  values.clear();
  folders.clear();
  times.clear();
  fields.clear();
  field_types.clear();
  untyped_fields.clear();
  inline_styles.clear();
  styles.clear();
  style_maps.clear();
  style_map_styles.clear();
  unrepresented = 0;
}

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

ValueRef KmlFeatures::KeepText(std::string_view text) {
  ValueRef value{values.size(), static_cast<uint32_t>(std::min<size_t>(text.size(), UINT32_MAX)), 0};
  value.kept = static_cast<uint32_t>(std::min<size_t>(value.size, kKeptBytes));
  values.append(text.substr(0, value.kept));
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

const KmlStyle* KmlFeatures::StyleOf(const Placemark& placemark, const KmlFeatures& document) const {
  if (placemark.inline_style >= 0) return &inline_styles[static_cast<size_t>(placemark.inline_style)];
  return document.SharedStyle(Value(placemark.style_url));
}

const KmlStyle* KmlFeatures::SharedStyle(std::string_view style_url) const {
  // A StyleMap's normal style may be another StyleMap: followed 8 deep, so that a loop ends
  // with the default style.
  std::string id(LocalId(style_url));
  for (int depth = 0; depth <= 8 && !id.empty(); ++depth) {
    if (auto style = styles.find(id); style != styles.end()) return &style->second;
    if (auto inline_style = style_map_styles.find(id); inline_style != style_map_styles.end()) return &inline_style->second;
    auto map = style_maps.find(id);
    if (map == style_maps.end()) break;
    id = std::string(LocalId(map->second));
  }
  return nullptr;
}
