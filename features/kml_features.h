#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "document/text_io.h"
#include "mif/element_tags.h"
#include "mif/export_plan.h"

// What a reading of KML finds besides the geometry: of the placemarks read, their names,
// descriptions, ExtendedData and styles; of what lies outside them, the folders, the shared
// styles and the schemas. Read from the file's own bytes as tolerantly as the rest of the
// program reads them. The values of placemarks are cleaned (to ANSI, as CleanValue says) as
// they are read, while their text is at hand, and kept one after another. A reading holds a
// stretch of the document, or a placemark; the document's own features (folders, styles,
// field names) are read into one of their own (features/placemark_stretches.h).

// A KML style, as far as MapInfo can show it; what it does not set is empty.
struct KmlStyle {
  std::string line_color, line_width;     // LineStyle
  std::string poly_color, fill, outline;  // PolyStyle
  std::string icon_color, icon_scale;     // IconStyle
};

// A value of a placemark, in KmlFeatures::values: its size, and as much of it as is kept (of
// a long value, enough for any column).
struct ValueRef {
  uint64_t at = 0;
  uint32_t size = 0;
  uint32_t kept = 0;
};

// <TimeStamp><when>, <TimeSpan><begin> and <end>; without a TimeSpan, the first and the last
// <when> of its gx:Track elements. Kept whole.
struct PlacemarkTimes {
  ValueRef stamp, begin, end;
};

struct Placemark {
  static constexpr uint32_t kNoTimes = UINT32_MAX;

  size_t begin = 0;  // its opening tag
  size_t end = 0;    // past its closing tag; else where a Folder or Document begins or ends, or the end
  ValueRef name;
  ValueRef description;  // kept whole when the reading asks for it
  ValueRef style_url;    // kept whole
  uint8_t given = 0;   // which of these and its times it has: the first of each counts (bits of KmlFeatures::Given)
  int folder = -1;          // the innermost Folder around it
  int inline_style = -1;    // its own Style, which takes the place of a shared one whole
  uint32_t first_data = 0;  // its ExtendedData values: data[first_data, first_data + data_count)
  uint32_t data_count = 0;
  uint32_t times = kNoTimes;  // KmlFeatures::times[times], for the few placemarks that have any
};

// A part of the text that belongs to one placemark: a placemark's own, less the placemarks
// nested in it (invalid KML, but seen), which cut it in two.
struct PlacemarkSpan {
  uint64_t begin = 0;
  uint64_t end = 0;
  int placemark = -1;
};

struct KmlFolder {
  int parent = -1;
  std::string name;
};

struct DataValue {
  int field;  // index into fields
  ValueRef value;
};

// How a <SimpleField> of a <Schema> types the values of its name: ushort and uint are the
// unsigned kinds of an Integer and a Float column.
enum class FieldType : uint8_t { kText, kInteger, kFloat, kLogical, kUnsignedInteger, kUnsignedFloat };

class KmlFeatures {
 public:
  enum Given : uint8_t {
    kName = 1, kDescription = 2, kStyleUrl = 4, kTimeStamp = 8, kTimeBegin = 16, kTimeEnd = 32,
    kTrackBegin = 64,  // the begin time is a track's first <when>, until a TimeSpan gives one
    kDescribedTwice = 128,  // a field of its description that its ExtendedData also gives, left out
  };

  KmlFeatures(std::string_view text, Encoding encoding) : text_(text), encoding_(encoding) {}
  std::string_view text() const { return text_; }
  Encoding encoding() const { return encoding_; }
  // Empties it for another reading of the same text, keeping the memory of its long lists.
  void Clear();

  std::vector<Placemark> placemarks;  // in the order they begin
  std::vector<PlacemarkSpan> spans;   // in document order; they never overlap
  std::vector<KmlFolder> folders;
  std::vector<DataValue> data;
  std::vector<PlacemarkTimes> times;
  std::vector<std::string> fields;    // ExtendedData names, in order of first appearance
  // The type of each name of a <SimpleField>: kText where two fields of one name differ but
  // for the signed and unsigned kinds of one column type, which give the signed kind.
  void AddFieldType(const std::string& name, FieldType type);
  std::unordered_map<std::string, FieldType> field_types;
  std::unordered_map<std::string, bool> untyped_fields;  // names that a <Data> element uses
  std::vector<KmlStyle> inline_styles;
  std::unordered_map<std::string, KmlStyle> styles;            // Style by id
  std::unordered_map<std::string, std::string> style_maps;     // StyleMap id: its normal styleUrl
  std::unordered_map<std::string, KmlStyle> style_map_styles;  // StyleMap id: an inline normal Style

  static constexpr size_t kKeptBytes = 256;
  std::string values;
  // The "?" that converting and cleaning the values and folder names put in place of
  // characters GBK lacks (or of bytes of no character).
  size_t unrepresented = 0;

  // A text of the document, cleaned.
  std::string Text(TextSpan span) const;
  // The text cleaned, added to `values`, whole or its first kKeptBytes bytes.
  ValueRef Keep(TextSpan span, bool whole = false);
  // A text already cleaned (GBK), added to `values` as Keep adds one.
  ValueRef KeepText(std::string_view text);
  // The name of a folder, cleaned: its "?" are counted as Keep counts them.
  std::string FolderName(TextSpan span);
  std::string_view Value(ValueRef value) const { return std::string_view(values).substr(value.at, value.kept); }
  // A placemark's times, all empty for one without.
  PlacemarkTimes TimesOf(const Placemark& placemark) const {
    return placemark.times == Placemark::kNoTimes ? PlacemarkTimes() : times[placemark.times];
  }
  // The placemark whose own text holds the position `at`, or -1. `hint`, 0 at first, keeps
  // where the last search ended: positions that come in order are found without a search.
  int PlacemarkAt(size_t at, size_t* hint) const;
  // The names of the folders around `folder`, outermost first, joined with "/".
  std::string FolderPath(int folder) const;
  // The style of one of its placemarks: its own, else the Style its styleUrl names among the
  // shared styles of `document`, else the normal Style of the StyleMap it names there (through
  // up to 8 StyleMaps); null for none.
  const KmlStyle* StyleOf(const Placemark& placemark, const KmlFeatures& document) const;
  // Of the document's shared styles, the one a styleUrl names (as StyleOf follows it).
  const KmlStyle* SharedStyle(std::string_view style_url) const;

 private:
  std::string_view text_;
  Encoding encoding_;
};

// What a reading keeps beyond what it always keeps.
struct FeatureReading {
  bool whole_descriptions = false;  // descriptions whole, not only their first kKeptBytes bytes
  // The fields of each placemark's description (features/description_fields.h) among its
  // values, after its ExtendedData, each as the field kDescribed + its name.
  bool description_fields = false;
};

// What the name of a field from a description begins with: it keeps the field apart from an
// ExtendedData name until the columns are laid out.
inline constexpr std::string_view kDescribed = "\x01";
