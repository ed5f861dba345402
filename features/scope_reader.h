#pragma once

#include <cstddef>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "features/kml_features.h"
#include "features/kml_walk.h"

// How the placemarks and styles of a KML document are read from the tags of a walk over it,
// as the reading of each stretch of placemarks (placemark_stretches.h) hands them on.

namespace kml_reading {

// The elements the reader follows; every other one only counts for the nesting.
enum class Element : uint8_t {
  kOther, kPlacemark, kFolder, kDocument, kKml, kName, kDescription, kData, kValue, kSimpleData,
  kStyle, kStyleMap, kPair, kKey, kStyleUrl, kLineStyle, kPolyStyle, kIconStyle,
  kColor, kWidth, kFill, kOutline, kScale, kSimpleField, kCascadingStyle,
  kTimeStamp, kTimeSpan, kWhen, kBegin, kEnd, kTrack,
};

static_assert(static_cast<size_t>(Element::kTrack) < 64, "ScopeReader counts the open elements by Element");

// By length and first letter: a tag that is none of them is rejected in a comparison or two.
Element ElementOf(std::string_view name);

// A Placemark left open ends where a Folder or Document begins or ends, or the kml element
// ends: what holds placemarks is read outside them.
inline bool EndsOpenPlacemark(Element element, bool closing) {
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

  // The next tag of the scope; `element` is its ElementOf.
  void Take(const KmlTag& tag, Element element);

  // Closes every open element at `at`.
  void CloseAll(size_t at);

  bool Empty() const { return stack_.empty(); }
  int Folder() const { return folders_.empty() ? -1 : folders_.back(); }

 private:
  // Pops to the open element that `closing` closes; a closing tag of nothing open is ignored.
  void CloseTo(const KmlTag& closing, Element element);

  // Keeps the counts of the open elements: of each element the reader follows, always; of the
  // names of the others while the stack is deep, so that a closing tag of nothing open is
  // found to be none without a search of a deep stack (N open elements and N closing tags of
  // other names would take N * N steps).
  void Pushed(const Open& open);
  void Popped(const Open& open);
  bool MayBeOpen(const KmlTag& closing, Element element) const;

  std::string Text(size_t begin, size_t end) const { return out_.Text({begin, end}); }
  std::string_view TagOf(const Open& open) const { return text_.substr(open.tag_begin, open.content_begin - open.tag_begin); }
  std::string Attribute(std::string_view tag, std::string_view name) const;
  // An id, also as gx:CascadingStyle writes it: kml:id="x".
  std::string Id(std::string_view tag) const;

  // The innermost open placemark: a placemark nested in another (invalid, but seen) is open
  // until it closes, and the other is open again after it.
  Placemark& Current() { return out_.placemarks[static_cast<size_t>(open_placemarks_.back())]; }

  // A placemark's name, description, styleUrl or time: the first one it has counts.
  void KeepFirst(ValueRef Placemark::*slot, uint8_t bit, TextSpan span, bool whole = false);

  // The innermost open placemark's times, made when it gets its first.
  PlacemarkTimes& Times();

  // A placemark's time: the first one of each kind counts.
  void KeepFirstTime(ValueRef PlacemarkTimes::*slot, uint8_t bit, TextSpan span);

  // A track's <when> elements give the placemark's begin and end when no TimeSpan does.
  void TrackClosed();

  // A placemark's values wait until it closes, so that those of each placemark lie together
  // even when another placemark is nested in it.
  void AddData(int field, TextSpan value) { pending_data_.back().push_back({field, out_.Keep(value)}); }

  // The fields of the innermost open placemark's description, whose text is `span`.
  void AddDescriptionFields(TextSpan span);

  // Leaves out of a closing placemark's `values` the fields of its description that its
  // ExtendedData also gives: the ExtendedData's value counts.
  void LeaveOutDescribedTwice(Placemark& placemark, std::vector<DataValue>& values);

  // The text from `span_start_` to `at` is the innermost open placemark's own.
  void EndSpan(size_t at);

  // The column of an ExtendedData name, numbered in order of first appearance.
  int FieldIndex(const std::string& name);
  // An element the reader follows has opened with its tag at `begin`.
  void Opened(const Open& open, size_t begin);

  // Closes the innermost open element: its content ends at `content_end`, the element at `end`.
  void CloseTop(size_t content_end, size_t end);

  // A value of a LineStyle, PolyStyle or IconStyle, kept in the style being read.
  void SetStyleValue(Element element, Element parent, std::string value);

  std::string_view text_;
  Encoding encoding_;
  KmlFeatures& out_;
  FeatureReading reading_;
  std::vector<Open> stack_;
  std::array<uint32_t, 64> open_elements_{};  // by Element
  std::unordered_map<std::string_view, uint32_t> open_names_;  // of kOther, while counted
  bool counting_names_ = false;
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

}  // namespace kml_reading
