#include "features/kml_features.h"

#include <algorithm>
#include <optional>

#include "features/kml_values.h"
#include "features/kml_walk.h"

namespace {

// The elements the reader follows; every other one only counts for the nesting.
enum class Element {
  kOther, kPlacemark, kFolder, kName, kDescription, kData, kValue, kSimpleData,
  kStyle, kStyleMap, kPair, kKey, kStyleUrl, kLineStyle, kPolyStyle, kIconStyle,
  kColor, kWidth, kFill, kOutline, kScale,
};

Element ElementOf(std::string_view name) {
  struct Entry {
    std::string_view name;
    Element element;
  };
  // By length, then by name: a tag that is none of them is rejected in a comparison or two.
  static constexpr Entry kElements[] = {
      {"key", Element::kKey},           {"name", Element::kName},           {"Data", Element::kData},
      {"fill", Element::kFill},         {"Pair", Element::kPair},           {"color", Element::kColor},
      {"scale", Element::kScale},       {"value", Element::kValue},         {"width", Element::kWidth},
      {"Style", Element::kStyle},       {"Folder", Element::kFolder},       {"outline", Element::kOutline},
      {"styleUrl", Element::kStyleUrl}, {"StyleMap", Element::kStyleMap},   {"Placemark", Element::kPlacemark},
      {"LineStyle", Element::kLineStyle}, {"PolyStyle", Element::kPolyStyle}, {"IconStyle", Element::kIconStyle},
      {"SimpleData", Element::kSimpleData}, {"description", Element::kDescription}};
  for (const Entry& e : kElements) {
    if (e.name.size() == name.size() && e.name[0] == name[0] && e.name == name) return e.element;
  }
  return Element::kOther;
}

struct Open {
  std::string_view name;
  Element element;
  size_t content_begin;
  std::string_view tag;
};

class Reader {
 public:
  Reader(std::string_view text, Encoding encoding) : text_(text), encoding_(encoding), features_(text, encoding) {}

  KmlFeatures Read() {
    WalkKml(text_, [&](const KmlTag& tag) {
      if (tag.closing) return CloseTo(tag);
      Element element = ElementOf(tag.name);
      if (element == Element::kPlacemark) CloseOpenPlacemark(tag.begin);
      stack_.push_back({tag.name, element, tag.end, tag.text});
      Opened(stack_.back(), tag.begin);
      if (tag.empty) CloseTop(tag.end, tag.end);
    });
    while (!stack_.empty()) CloseTop(text_.size(), text_.size());
    return std::move(features_);
  }

 private:
  // Pops to the open element that `closing` closes; a closing tag of nothing open is ignored.
  void CloseTo(const KmlTag& closing) {
    auto it = std::find_if(stack_.rbegin(), stack_.rend(), [&](const Open& o) { return o.name == closing.name; });
    if (it == stack_.rend()) return;
    size_t depth = static_cast<size_t>(stack_.rend() - it);
    while (stack_.size() > depth) CloseTop(closing.begin, closing.begin);
    CloseTop(closing.begin, closing.end);
  }

  // A Placemark that is still open ends where the next one begins.
  void CloseOpenPlacemark(size_t at) {
    auto it = std::find_if(stack_.rbegin(), stack_.rend(), [](const Open& o) { return o.element == Element::kPlacemark; });
    if (it == stack_.rend()) return;
    size_t depth = static_cast<size_t>(stack_.rend() - it);
    while (stack_.size() >= depth) CloseTop(at, at);
  }

  int Innermost(Element element) const {
    for (size_t i = stack_.size(); i-- > 0;) {
      if (stack_[i].element == element) return static_cast<int>(i);
    }
    return -1;
  }

  Element Parent() const { return stack_.size() >= 2 ? stack_[stack_.size() - 2].element : Element::kOther; }

  std::string Text(size_t begin, size_t end) const { return features_.Text({begin, end}); }
  std::string Attribute(std::string_view tag, std::string_view name) const {
    return DecodeEntities(DecodePart(AttributeValue(tag, name), encoding_));
  }

  void AddData(int field, TextSpan value) {
    features_.data.push_back({field, value});
    ++features_.placemarks.back().data_count;
  }

  int FieldIndex(const std::string& name) {
    auto [it, added] = field_index_.emplace(name, static_cast<int>(features_.fields.size()));
    if (added) features_.fields.push_back(name);
    return it->second;
  }

  void Opened(const Open& open, size_t begin) {
    switch (open.element) {
      case Element::kPlacemark: {
        Placemark placemark;
        placemark.begin = begin;
        placemark.folder = folders_.empty() ? -1 : folders_.back();
        placemark.first_data = static_cast<uint32_t>(features_.data.size());
        features_.placemarks.push_back(placemark);
        break;
      }
      case Element::kFolder:
        folders_.push_back(static_cast<int>(features_.folders.size()));
        features_.folders.push_back({folders_.size() >= 2 ? folders_[folders_.size() - 2] : -1, ""});
        break;
      case Element::kData:
        data_name_ = Attribute(open.tag, "name");
        break;
      case Element::kStyle:
        style_ = KmlStyle();
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
    const bool in_placemark = Innermost(Element::kPlacemark) >= 0;
    const Element parent = stack_.empty() ? Element::kOther : stack_.back().element;
    switch (open.element) {
      case Element::kPlacemark:
        features_.placemarks.back().end = end;
        break;
      case Element::kFolder:
        folders_.pop_back();
        break;
      case Element::kName:
        if (parent == Element::kPlacemark) {
          features_.placemarks.back().name = {open.content_begin, content_end};
        } else if (parent == Element::kFolder && !folders_.empty()) {
          features_.folders[static_cast<size_t>(folders_.back())].name = Text(open.content_begin, content_end);
        }
        break;
      case Element::kDescription:
        if (parent == Element::kPlacemark) features_.placemarks.back().description = {open.content_begin, content_end};
        break;
      case Element::kValue:
        if (parent == Element::kData && in_placemark) {
          AddData(FieldIndex(data_name_), {open.content_begin, content_end});
          data_name_.clear();
        }
        break;
      case Element::kSimpleData:
        if (in_placemark) AddData(FieldIndex(Attribute(open.tag, "name")), {open.content_begin, content_end});
        break;
      case Element::kKey:
        if (parent == Element::kPair) pair_key_ = Text(open.content_begin, content_end);
        break;
      case Element::kStyleUrl:
        if (parent == Element::kPlacemark) {
          features_.placemarks.back().style_url = {open.content_begin, content_end};
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
          features_.placemarks.back().inline_style = static_cast<int>(features_.inline_styles.size());
          features_.inline_styles.push_back(style_);
        } else if (parent == Element::kPair) {
          pair_style_ = style_;
        } else if (std::string id = Attribute(open.tag, "id"); !id.empty()) {
          features_.styles.emplace(id, style_);
        }
        break;
      case Element::kPair:
        if (pair_key_ == "normal") {
          pair_normal_url_ = pair_url_;
          pair_normal_style_ = pair_style_;
        }
        break;
      case Element::kStyleMap:
        if (std::string id = Attribute(open.tag, "id"); !id.empty()) {
          if (pair_normal_style_) features_.style_map_styles.emplace(id, *pair_normal_style_);
          if (!pair_normal_url_.empty()) features_.style_maps.emplace(id, pair_normal_url_);
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
  KmlFeatures features_;
  std::vector<Open> stack_;
  std::vector<int> folders_;  // open folders, innermost last
  std::unordered_map<std::string, int> field_index_;
  std::string data_name_;
  KmlStyle style_;
  std::string pair_key_, pair_url_, pair_normal_url_;
  std::optional<KmlStyle> pair_style_, pair_normal_style_;
};

// "#id" names a style of this document; "other.kml#id" one of another, which is not read.
std::string_view LocalId(std::string_view url) {
  return url.substr(0, 1) == "#" ? url.substr(1) : std::string_view();
}

}  // namespace

KmlFeatures ReadFeatures(std::string_view text, Encoding encoding) { return Reader(text, encoding).Read(); }

std::string KmlFeatures::Text(TextSpan span) const {
  return CleanValue(DecodePart(text_.substr(span.begin, span.end - span.begin), encoding_));
}

int KmlFeatures::PlacemarkAt(size_t at, int hint) const {
  size_t p = hint >= 0 ? static_cast<size_t>(hint) : 0;
  // A few steps forward from the hint, else a binary search.
  for (int step = 0; p < placemarks.size() && placemarks[p].end <= at; ++p) {
    if (++step == 8) {
      auto it = std::upper_bound(placemarks.begin() + static_cast<ptrdiff_t>(p), placemarks.end(), at,
                                 [](size_t position, const Placemark& pm) { return position < pm.begin; });
      if (it == placemarks.begin()) return -1;
      p = static_cast<size_t>(it - placemarks.begin()) - 1;
      break;
    }
  }
  return p < placemarks.size() && placemarks[p].begin <= at && at < placemarks[p].end ? static_cast<int>(p) : -1;
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
  std::string url = Text(placemark.style_url);
  std::string id(LocalId(url));
  if (id.empty()) return nullptr;
  if (auto style = styles.find(id); style != styles.end()) return &style->second;
  if (auto inline_style = style_map_styles.find(id); inline_style != style_map_styles.end()) return &inline_style->second;
  if (auto map = style_maps.find(id); map != style_maps.end()) {
    if (auto style = styles.find(std::string(LocalId(map->second))); style != styles.end()) return &style->second;
  }
  return nullptr;
}
