#include "mif/export_plan.h"

#include <algorithm>
#include <cstring>

#include "mif/byte_scan.h"
#include "mif/ordered_parallel.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr std::string_view kNames[] = {"Point", "LineString", "LinearRing", "coordinates"};
constexpr size_t kLongestLook = 256;
constexpr uint32_t kFarBack = UINT32_MAX;

// Which of the export's names could begin at text[at], by its first letters; -1 for none.
int CandidateName(std::string_view text, size_t at) {
  if (at + 5 > text.size()) return -1;
  switch (text[at]) {
    case 'P': return text[at + 1] == 'o' ? 0 : -1;
    case 'L': return text[at + 1] != 'i' ? -1 : text[at + 4] == 'S' ? 1 : 2;
    case 'c': return text[at + 1] == 'o' ? 3 : -1;
  }
  return -1;
}

// SkipPrefix, sped up for the common case: a name that ends in one of the bytes that usually
// follow it (">", a blank, "/") has no prefix. Anything else takes the exact reading.
size_t NameBegin(std::string_view text, size_t at) {
#ifdef __SSE2__
  if (at + 16 <= text.size()) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
    __m128i stop = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('>')), _mm_cmpeq_epi8(v, _mm_set1_epi8(' '))),
                                _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('/')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
    auto stops = static_cast<uint32_t>(_mm_movemask_epi8(stop));
    auto colons = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(':'))));
    // The first stop before any colon: the name run ends before a colon could end it.
    if (stops && (!colons || __builtin_ctz(stops) < __builtin_ctz(colons))) return at;
  }
#endif
  return SkipPrefix(text, at);
}

// False when the "<" at text[at] can begin none of the export's tags (none but geometry
// tags, with `geometry_only`), told from its first bytes: a name that starts otherwise than
// theirs and ends before any colon (no prefix). Most tags of a document are not the
// export's; they end here without a call.
inline bool MayBeExportTag(std::string_view text, size_t at, bool geometry_only) {
#ifdef __SSE2__
  const size_t name = at + 1 + (at + 1 < text.size() && text[at + 1] == '/');
  if (name + 16 > text.size()) return true;
  const char first = text[name], second = text[name + 1];
  if ((first == 'P' && second == 'o') || (first == 'L' && second == 'i') ||
      (first == 'c' && second == 'o' && !geometry_only)) {
    return true;
  }
  __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + name));
  __m128i stop = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('>')), _mm_cmpeq_epi8(v, _mm_set1_epi8(' '))),
                              _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('/')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
  auto stops = static_cast<uint32_t>(_mm_movemask_epi8(stop));
  auto colons = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(':'))));
  // The name run ends before any colon could end a prefix.
  return !(stops && (!colons || __builtin_ctz(stops) < __builtin_ctz(colons)));
#else
  (void)text;
  (void)at;
  (void)geometry_only;
  return true;
#endif
}

}  // namespace

namespace {

void ReadExportTagAt(std::string_view text, size_t at, std::vector<ScannedTag>& tags) {
  const char* const base = text.data();
  bool closing = at + 1 < text.size() && text[at + 1] == '/';
  size_t name_begin = NameBegin(text, at + 1 + closing);
  int name = CandidateName(text, name_begin);
  if (name < 0) return;
  size_t end = TagEndAfterPrefix(text, name_begin, kNames[name], closing);
  if (end == std::string_view::npos) return;
  bool lt_before = false;
  uint32_t back = 0;
  if (closing && name != static_cast<int>(ExportTag::kCoordinates)) {
    size_t p = at;
    while (p > 0 && p > at - kLongestLook && base[p - 1] != '<' && base[p - 1] != '>') --p;
    if (p > 0 && p > at - kLongestLook) {
      lt_before = base[p - 1] == '<';
      back = static_cast<uint32_t>(at - p + 1);
    } else if (p > 0) {
      back = kFarBack;  // looked up again when needed
    }
  }
  // Filled in place: a tag built aside and copied in stalled on its own stores.
  ScannedTag& tag = tags.emplace_back();
  tag.begin = at;
  tag.end = end;
  tag.name = static_cast<ExportTag>(name);
  tag.closing = closing;
  tag.lt_before = lt_before;
  tag.back = back;
}

}  // namespace

void ScanExportTagAt(std::string_view text, size_t at, std::vector<ScannedTag>& tags) {
  if (MayBeExportTag(text, at, false)) ReadExportTagAt(text, at, tags);
}

void ScanExportTags(std::string_view text, size_t from, size_t to, std::vector<ScannedTag>& tags, bool geometry_only) {
  ForEachByte(text, from, to, '<', [&](size_t at) {
    if (!MayBeExportTag(text, at, geometry_only)) return;
    const size_t before = tags.size();
    ReadExportTagAt(text, at, tags);
    if (geometry_only && tags.size() > before && tags.back().name == ExportTag::kCoordinates) tags.pop_back();
  });
}

void ExportPlanner::Take(const std::vector<ScannedTag>& tags) {
  for (const ScannedTag& tag : tags) {
    if (tag.name == ExportTag::kCoordinates) {
      if (count_only_) continue;
      for (KindState& state : states_) {
        if (state.inside) state.coordinates_tags.push_back(tag);
      }
      continue;
    }
    int kind = static_cast<int>(tag.name);
    KindState& state = states_[kind];
    if (!state.inside && !tag.closing) {
      state.inside = true;
      state.open_end = tag.end;
    } else if (state.inside && tag.closing) {
      CloseElement(kind, tag);
      state.inside = false;
      state.coordinates_tags.clear();
    }
  }
  // Room for the rest of the text's coordinates at the rate found so far, so that the lists
  // are not copied again and again as they grow (which faults in twice their memory).
  if (tags.empty() || count_only_ || !reserve_) return;
  const double rest = static_cast<double>(text_.size()) / static_cast<double>(std::max<uint64_t>(tags.back().end, 1));
  for (KindPlan& plan : plans_) {
    const size_t expected = static_cast<size_t>(static_cast<double>(plan.coordinates.size()) * rest * 1.05);
    if (plan.coordinates.capacity() < expected) plan.coordinates.reserve(expected);
  }
}

uint64_t ExportPlanner::PlannedFrom() const {
  uint64_t from = UINT64_MAX;
  for (size_t kind = 0; kind < 3; ++kind) {
    if (!plans_[kind].joined_from_here.empty()) from = std::min(from, plans_[kind].joined_from_here.front().begin);
    if (states_[kind].inside) from = std::min(from, states_[kind].open_end);
  }
  return from;
}

// The element text [open_end, group_end) is complete: its coordinates elements, found as the
// coordinates search finds them in this text alone, unless something may run past its end.
void ExportPlanner::CloseElement(int kind, const ScannedTag& closing) {
  const uint64_t group_end = closing.begin;
  KindState& state = states_[kind];
  KindPlan& plan = plans_[kind];
  ++plan.elements;
  if (count_only_) return;
  const uint64_t group_begin = state.open_end;
  if (!plan.joined_from_here.empty()) {
    plan.joined_from_here.push_back({group_begin, group_end});
    return;
  }
  uint64_t from = group_begin;
  const std::vector<ScannedTag>& tags = state.coordinates_tags;
  size_t i = 0;
  bool runs_on = false;
  for (;;) {
    while (i < tags.size() && (tags[i].closing || tags[i].begin < from)) ++i;
    if (i == tags.size() || tags[i].begin >= group_end) break;
    const ScannedTag& open = tags[i];
    size_t j = i + 1;
    while (j < tags.size() && (!tags[j].closing || tags[j].begin < open.end)) ++j;
    if (j == tags.size() || tags[j].end > group_end || open.end > group_end) {
      runs_on = true;
      break;
    }
    plan.coordinates.push_back({open.end, tags[j].begin});
    from = tags[j].end;
    i = j + 1;
  }
  if (!runs_on) runs_on = EndsInsideATag(closing, group_begin);
  if (runs_on) plan.joined_from_here.push_back({from, group_end});
}

// A "<" after the element text's last ">" may begin a tag that the CR LF and the next element
// text complete.
bool ExportPlanner::EndsInsideATag(const ScannedTag& closing, uint64_t group_begin) const {
  if (closing.back == 0) return false;
  if (closing.back != kFarBack) return closing.lt_before && closing.begin - closing.back >= group_begin;
  std::string_view group = text_.substr(group_begin, closing.begin - group_begin);
  size_t last = group.find_last_of("<>");
  return last != std::string_view::npos && group[last] == '<';
}

std::array<KindPlan, 3> PlanExport(std::string_view text, int threads, bool count_only) {
  ExportPlanner planner(text, count_only);
  Pool<std::vector<ScannedTag>> pool;
  ScanBlocksInOrder<std::vector<ScannedTag>>(
      text.size(), kScanBlock, threads,
      [&](size_t from, size_t to) {
        std::vector<ScannedTag> tags = pool.Take();
        ScanExportTags(text, from, to, tags, count_only);
        return tags;
      },
      [&](std::vector<ScannedTag>& tags) {
        planner.Take(tags);
        tags.clear();
        pool.Give(tags);
      });
  return std::move(planner.plans());
}

namespace {

bool IsNameByte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' || c == '-';
}

// The "<" of the tag whose name could begin at text[name]: before it an optional prefix of
// name bytes and a colon, an optional "/"; npos for none. ScanExportTagAt has the last word.
size_t TagStartBefore(std::string_view text, size_t name) {
  size_t p = name;
  if (p > 0 && text[p - 1] == ':') {
    --p;
    while (p > 0 && IsNameByte(text[p - 1])) --p;
  }
  if (p > 0 && text[p - 1] == '/') --p;
  return p > 0 && text[p - 1] == '<' ? p - 1 : std::string_view::npos;
}

// Appends the geometry tags whose names begin in text[from, to): found by the first two
// bytes of their names ("Po", "Li"), which are rarer than "<".
void ScanGeometryTags(std::string_view text, size_t from, size_t to, std::vector<ScannedTag>& tags) {
  size_t last = std::string_view::npos;  // "<Point:Point>" names its "<" twice
  auto take = [&](size_t name) {
    const std::string_view rest = text.substr(name);
    if (!(rest.starts_with("Point") || rest.starts_with("LineString") || rest.starts_with("LinearRing"))) return;
    const size_t lt = TagStartBefore(text, name);
    if (lt != std::string_view::npos && lt != last) ScanExportTagAt(text, lt, tags);
    last = lt;
  };
  const char* const base = text.data();
  size_t at = from;
#ifdef __SSE2__
  const __m128i p = _mm_set1_epi8('P'), o = _mm_set1_epi8('o'), l = _mm_set1_epi8('L'), i = _mm_set1_epi8('i');
  for (; at + 17 <= to || (at + 16 <= to && at + 17 <= text.size()); at += 16) {
    __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at));
    __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at + 1));
    __m128i pairs = _mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(first, p), _mm_cmpeq_epi8(second, o)),
                                 _mm_and_si128(_mm_cmpeq_epi8(first, l), _mm_cmpeq_epi8(second, i)));
    for (auto bits = static_cast<uint32_t>(_mm_movemask_epi8(pairs)); bits; bits &= bits - 1) {
      take(at + static_cast<size_t>(__builtin_ctz(bits)));
    }
  }
#endif
  for (; at < to; ++at) {
    if ((base[at] == 'P' || base[at] == 'L') && at + 1 < text.size()) take(at);
  }
}

}  // namespace

std::array<size_t, 3> CountExportElements(std::string_view text, int threads) {
  ExportPlanner planner(text, /*count_only=*/true);
  Pool<std::vector<ScannedTag>> pool;
  ScanBlocksInOrder<std::vector<ScannedTag>>(
      text.size(), kScanBlock, threads,
      [&](size_t from, size_t to) {
        std::vector<ScannedTag> tags = pool.Take();
        ScanGeometryTags(text, from, to, tags);
        return tags;
      },
      [&](std::vector<ScannedTag>& tags) {
        planner.Take(tags);
        tags.clear();
        pool.Give(tags);
      });
  const std::array<KindPlan, 3>& plans = planner.plans();
  return {plans[0].elements, plans[1].elements, plans[2].elements};
}

std::string JoinSpans(std::string_view text, const std::vector<TextSpan>& spans) {
  std::string joined;
  for (const TextSpan& span : spans) {
    joined.append(text.substr(span.begin, span.end - span.begin));
    joined += "\r\n";
  }
  return joined;
}
