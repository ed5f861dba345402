#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "features/kml_features.h"
#include "features/kml_walk.h"
#include "features/scope_reader.h"
#include "mif/element_tags.h"
#include "mif/export_plan.h"

// A document read in stretches, on several threads, and handed on a stretch at a time in
// document order: a stretch runs from a Placemark tag outside every other placemark (or from
// the beginning) to the next such tag at or after the end of its block, so that every
// placemark lies in one stretch. What lies outside placemarks (folders, shared styles,
// schemas) is read in order into the document's features as the stretches are handed on.

// What the reader of the stretches makes of a stretch on the thread that read it.
struct StretchWork {
  virtual ~StretchWork() = default;
};

// A stretch as it is handed on: its placemarks, read on their own (their own fields numbered
// in order of first appearance in the stretch), each with its folder and each field with its
// number in the document.
struct PlacemarkStretch {
  size_t start = std::string_view::npos;
  size_t stop = std::string_view::npos;  // where the next stretch starts: a Placemark tag, or the end
  std::unique_ptr<KmlFeatures> found;
  std::vector<int> folder_of;  // of each placemark: a folder of the document's features, -1 for none
  std::vector<int> field_of;   // of each of found->fields: the document's field of that name
  std::optional<NamedTagScan> element_tags;  // the tags of the elements asked for, in [start, stop)

  // A tag outside placemarks, and how many of the stretch's placemarks come before it.
  struct Outside {
    KmlTag tag;
    kml_reading::Element element;
    size_t placemarks_before;
  };
  std::vector<Outside> outside;
  std::vector<ScannedTag> export_tags;  // those that begin in [start, stop), when asked for
  std::unique_ptr<StretchWork> work;    // what in_worker made of it, kept from stretch to stretch
};

// What a reading in stretches finds besides the placemarks.
struct StretchReading {
  FeatureReading reading;
  bool export_tags = false;                    // each stretch gathers the export's tags
  ExportPlanner* planner = nullptr;            // takes the export's tags of each stretch in order
  std::vector<std::string_view> element_names;  // elements whose tags each stretch gathers
  // Runs on the thread that read a stretch (or on the calling one, for a stretch read again),
  // before it is handed on.
  std::function<void(PlacemarkStretch&)> in_worker;
};

class PlacemarkStretches {
 public:
  // `text` and `encoding` as for SourceOf; the document's features are read into `document`.
  PlacemarkStretches(std::string_view text, Encoding encoding, StretchReading how, KmlFeatures& document);

  // Reads the text in stretches from blocks of `block` bytes, on up to `threads` threads (one
  // after another on one), and
  // calls take(stretch) for each in order, once the planner has its export tags and the
  // document what lies outside placemarks up to its end. take keeps the stretch for as long as
  // it needs it, and gives it back with Recycle.
  void Read(int threads, size_t block, const std::function<void(std::unique_ptr<PlacemarkStretch>)>& take);

  // A stretch that was handed on, emptied for another: the memory of its lists is touched once,
  // instead of being given back to the system and faulted in again for every stretch.
  void Recycle(std::unique_ptr<PlacemarkStretch> stretch);

 private:
  std::unique_ptr<PlacemarkStretch> Fresh();
  void ReadStretch(PlacemarkStretch& stretch, size_t start, size_t stop_from) const;
  void Merge(PlacemarkStretch& stretch);

  std::string_view text_;
  Encoding encoding_;
  StretchReading how_;
  KmlFeatures& document_;
  kml_reading::ScopeReader outside_;
  std::unordered_map<std::string, int> field_index_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<PlacemarkStretch>> free_;
};
