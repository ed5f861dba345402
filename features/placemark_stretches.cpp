#include "features/placemark_stretches.h"

#include <algorithm>

#include "mif/byte_scan.h"
#include "mif/ordered_parallel.h"

namespace {

using kml_reading::Element;
using kml_reading::ElementOf;
using kml_reading::EndsOpenPlacemark;
using kml_reading::ScopeReader;

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

}  // namespace

PlacemarkStretches::PlacemarkStretches(std::string_view text, Encoding encoding, StretchReading how,
                                       KmlFeatures& document)
    : text_(text), encoding_(encoding), how_(std::move(how)), document_(document),
      outside_(text, encoding, document, how_.reading) {}

std::unique_ptr<PlacemarkStretch> PlacemarkStretches::Fresh() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!free_.empty()) {
      std::unique_ptr<PlacemarkStretch> stretch = std::move(free_.back());
      free_.pop_back();
      return stretch;
    }
  }
  auto stretch = std::make_unique<PlacemarkStretch>();
  stretch->found = std::make_unique<KmlFeatures>(text_, encoding_);
  return stretch;
}

void PlacemarkStretches::Recycle(std::unique_ptr<PlacemarkStretch> stretch) {
  stretch->start = stretch->stop = std::string_view::npos;
  stretch->outside.clear();
  stretch->export_tags.clear();
  stretch->element_tags.reset();
  stretch->folder_of.clear();
  stretch->field_of.clear();
  stretch->found->Clear();
  std::lock_guard<std::mutex> lock(mutex_);
  free_.push_back(std::move(stretch));
}

void PlacemarkStretches::ReadStretch(PlacemarkStretch& stretch, size_t start, size_t stop_from) const {
  stretch.start = start;
  stretch.stop = text_.size();
  ScopeReader placemark(text_, encoding_, *stretch.found, how_.reading);
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
  const bool export_tags = how_.export_tags || how_.planner;
  if (!how_.element_names.empty()) stretch.element_tags.emplace(how_.element_names);
  if (export_tags || stretch.element_tags) {
    WalkKml(text_, start, visit, [&](size_t at) {
      if (export_tags) ScanExportTagAt(text_, at, stretch.export_tags);
      if (stretch.element_tags) stretch.element_tags->At(text_, at);
    });
    // The tag the walk stopped at begins the next stretch (a Placemark tag: no element's).
    while (!stretch.export_tags.empty() && stretch.export_tags.back().begin >= stretch.stop) stretch.export_tags.pop_back();
  } else {
    WalkKml(text_, start, visit);
  }
  placemark.CloseAll(stretch.stop);
  if (how_.in_worker) how_.in_worker(stretch);
}

void PlacemarkStretches::Merge(PlacemarkStretch& stretch) {
  if (how_.planner) how_.planner->Take(stretch.export_tags);
  const KmlFeatures& found = *stretch.found;
  stretch.field_of.resize(found.fields.size());
  for (size_t f = 0; f < found.fields.size(); ++f) {
    auto [it, added] = field_index_.emplace(found.fields[f], static_cast<int>(document_.fields.size()));
    if (added) document_.fields.push_back(found.fields[f]);
    stretch.field_of[f] = it->second;
  }
  for (const auto& [name, type] : found.field_types) document_.AddFieldType(name, type);
  for (const auto& [name, untyped] : found.untyped_fields) document_.untyped_fields[name] = untyped;
  document_.unrepresented += found.unrepresented;
  // Each placemark is in the folder that the tags outside placemarks before it leave open.
  stretch.folder_of.clear();
  auto placemarks_to = [&](size_t end) { stretch.folder_of.resize(end, outside_.Folder()); };
  for (const PlacemarkStretch::Outside& outside : stretch.outside) {
    placemarks_to(outside.placemarks_before);
    outside_.Take(outside.tag, outside.element);
  }
  placemarks_to(found.placemarks.size());
}

void PlacemarkStretches::Read(int threads, size_t block,
                              const std::function<void(std::unique_ptr<PlacemarkStretch>)>& take) {
  block = std::max<size_t>(block, 1);
  auto hand_on = [&](std::unique_ptr<PlacemarkStretch> stretch) {
    Merge(*stretch);
    take(std::move(stretch));
  };
  // Read in stretches on one thread too, so that a reading holds a block's placemarks at most.
  if (text_.size() <= block) {
    std::unique_ptr<PlacemarkStretch> whole = Fresh();
    ReadStretch(*whole, 0, std::string_view::npos);
    hand_on(std::move(whole));
    outside_.CloseAll(text_.size());
    return;
  }
  // Each block's stretch starts at its first Placemark tag, on the guess that the walk takes
  // it. The stretch before runs on to the first Placemark tag of this block that the walk
  // takes: where the two differ (the tag lies in a comment or CDATA section), this block's
  // stretch is read again from there.
  const size_t blocks = (text_.size() + block - 1) / block;
  size_t walked_to = 0;  // where the next stretch starts
  // As many stretches under way as threads: each holds its block's tags and placemarks, and
  // more of them cost memory without gaining time.
  OrderedParallel<std::unique_ptr<PlacemarkStretch>>(
      blocks, threads, static_cast<size_t>(std::max(threads, 2)),
      [&](size_t i) {
        const size_t block_end = std::min(text_.size(), (i + 1) * block);
        std::unique_ptr<PlacemarkStretch> stretch = Fresh();
        const size_t start = i == 0 ? 0 : FirstPlacemarkTag(text_, i * block, block_end);
        if (start != std::string_view::npos) ReadStretch(*stretch, start, block_end);
        return stretch;
      },
      [&](size_t i, std::unique_ptr<PlacemarkStretch>& stretch) {
        const size_t block_end = std::min(text_.size(), (i + 1) * block);
        if (walked_to >= block_end) {  // an earlier stretch ran past this block
          Recycle(std::move(stretch));
          return true;
        }
        if (stretch->start != walked_to) {
          std::unique_ptr<PlacemarkStretch> again = Fresh();
          Recycle(std::move(stretch));
          stretch = std::move(again);
          ReadStretch(*stretch, walked_to, block_end);
        }
        walked_to = stretch->stop;
        hand_on(std::move(stretch));
        return true;
      });
  outside_.CloseAll(text_.size());
}
