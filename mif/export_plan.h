#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mif/element_tags.h"

// What the export needs from a document, found in one pass over its text: for each kind of
// geometry, the texts of the coordinates elements inside its elements, in document order.
// The result is exactly what the element search and the coordinates search of the section
// builders find (mif/section_builders.h), without building the joined element texts.
//
// The text may be the file's own bytes (UTF-8 or ANSI): every tag searched for is ASCII and
// begins with "<", which is never part of a multi-byte character, so the tags and the tuples
// are found at the same places as in the converted text.

// A part of the text: [begin, end).
struct TextSpan {
  uint64_t begin;
  uint64_t end;
};

// The tags of the export: opening or closing tags of Point, LineString, LinearRing and
// coordinates, as mif/element_tags.h reads them.
enum class ExportTag : uint8_t { kPoint, kLineString, kLinearRing, kCoordinates };

struct ScannedTag {
  uint64_t begin;  // the "<"
  uint64_t end;    // one past the ">"
  ExportTag name;
  bool closing;
  // For a closing tag of a geometry element: whether the nearest "<" or ">" before it is a
  // "<", and how far back it is (0: none). Taken while the text is at hand, so that the plan need not read it again.
  bool lt_before;
  uint32_t back;
};

// Appends the tags of the export that begin in text[from, to) to `tags`, in order (with
// `geometry_only`, no coordinates tags: enough to count the elements). A tag may run on past
// `to`; so the text can be scanned in pieces, on several threads.
void ScanExportTags(std::string_view text, size_t from, size_t to, std::vector<ScannedTag>& tags,
                    bool geometry_only = false);
// The same for the "<" at text[at]: appends the tag of the export that begins there, if any.
void ScanExportTagAt(std::string_view text, size_t at, std::vector<ScannedTag>& tags);

// The coordinates texts of one kind of geometry.
struct KindPlan {
  size_t elements = 0;               // the kind's elements: what its analysis counts
  std::vector<TextSpan> coordinates;  // the coordinates texts, in order
  // Rarely, a coordinates element or a tag of one runs past the end of an element text, into
  // the CR LF and the next element text of the joined inner text. From there on the plan
  // keeps the element texts themselves (the first one from where the search goes on), and
  // the coordinates are searched in their joined text (ForEachJoinedCoordinates).
  std::vector<TextSpan> joined_from_here;
};

// Takes the tags of a document in order, a piece at a time, and makes the plan; with
// `count_only`, only the element counts. Unless told not to (a planner of a piece of the text),
// its lists take room for the rest of the text at the rate found so far.
class ExportPlanner {
 public:
  explicit ExportPlanner(std::string_view text, bool count_only = false, bool reserve = true)
      : text_(text), count_only_(count_only), reserve_(reserve) {}

  void Take(const std::vector<ScannedTag>& tags);
  std::array<KindPlan, 3>& plans() { return plans_; }  // point, line, polygon

  // Where the coordinates texts still to be planned may begin at the earliest, given the tags
  // taken so far: those of elements still open, and of a kind whose element texts are kept
  // to be joined (planned at the end, ForEachJoinedCoordinates). UINT64_MAX when nothing is
  // open: the texts planned from now on lie after the tags taken. The coordinates texts
  // planned so far may be taken out of the plans: the planner only appends to them.
  uint64_t PlannedFrom() const;

 private:
  struct KindState {
    bool inside = false;
    uint64_t open_end = 0;
    std::vector<ScannedTag> coordinates_tags;  // seen inside the current element
  };

  void CloseElement(int kind, const ScannedTag& closing);
  bool EndsInsideATag(const ScannedTag& closing, uint64_t group_begin) const;

  std::string_view text_;
  bool count_only_;
  bool reserve_;
  std::array<KindPlan, 3> plans_;
  std::array<KindState, 3> states_;
};

// The plan of a whole text; a large text is scanned on up to `threads` threads. With
// `count_only`, only the element counts.
std::array<KindPlan, 3> PlanExport(std::string_view text, int threads, bool count_only = false);

// The number of Point, LineString and LinearRing elements of a text, as PlanExport with
// `count_only` counts them, found by their names rather than by every "<".
std::array<size_t, 3> CountExportElements(std::string_view text, int threads);

// A large text is scanned in blocks of this size, on several threads.
constexpr size_t kScanBlock = size_t{2} << 20;

// The spans' texts, each followed by CR LF.
std::string JoinSpans(std::string_view text, const std::vector<TextSpan>& spans);

// Calls visit(coordinates_text, position) for the coordinates elements of `joined`, the
// joined element texts of `plan.joined_from_here` (JoinSpans); `position` is where in the
// document the coordinates text begins.
template <typename Visit>
void ForEachJoinedCoordinates(const KindPlan& plan, std::string_view joined, Visit&& visit);

// ---- implementation ----

template <typename Visit>
void ForEachJoinedCoordinates(const KindPlan& plan, std::string_view joined, Visit&& visit) {
  const std::vector<TextSpan>& spans = plan.joined_from_here;
  size_t span = 0, span_start = 0;  // the span whose text holds the match, and where it starts
  for (const ElementMatch& m : FindNamedElements(joined, "coordinates")) {
    const size_t at = static_cast<size_t>(m.group.data() - joined.data());
    while (span + 1 < spans.size() && at >= span_start + (spans[span].end - spans[span].begin) + 2) {
      span_start += spans[span].end - spans[span].begin + 2;
      ++span;
    }
    visit(m.group, spans[span].begin + std::min<uint64_t>(at - span_start, spans[span].end - spans[span].begin));
  }
}
