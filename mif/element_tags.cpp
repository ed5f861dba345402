#include "mif/element_tags.h"

#include <algorithm>
#include <cstring>

#include "mif/byte_scan.h"
#include "mif/ordered_parallel.h"

namespace {

// 1: may begin a name, 2: may continue one.
struct NameTable {
  unsigned char kind[256] = {};
  constexpr NameTable() {
    for (int c = 0; c < 256; ++c) {
      bool start = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
      bool more = start || (c >= '0' && c <= '9') || c == '.' || c == '-';
      kind[c] = static_cast<unsigned char>((start ? 1 : 0) | (more ? 2 : 0));
    }
  }
};
constexpr NameTable kNameTable;

bool IsNameStart(char c) { return kNameTable.kind[static_cast<unsigned char>(c)] & 1; }
bool IsNameChar(char c) { return kNameTable.kind[static_cast<unsigned char>(c)] & 2; }

bool NameAt(std::string_view text, size_t at, std::string_view name) {
  return text.size() - at >= name.size() && std::memcmp(text.data() + at, name.data(), name.size()) == 0;
}

const char* FindByte(std::string_view text, size_t from, char c) {
  if (from >= text.size()) return nullptr;
  return static_cast<const char*>(std::memchr(text.data() + from, c, text.size() - from));
}

}  // namespace

size_t SkipPrefix(std::string_view text, size_t at) {
  size_t p = at;
  if (p < text.size() && IsNameStart(text[p])) {
    ++p;
    while (p < text.size() && IsNameChar(text[p])) ++p;
    if (p < text.size() && text[p] == ':') return p + 1;
  }
  return at;
}

size_t TagEndAfterPrefix(std::string_view text, size_t name_begin, std::string_view name, bool closing) {
  if (!NameAt(text, name_begin, name)) return std::string_view::npos;
  size_t p = name_begin + name.size();
  if (closing) {
    while (p < text.size() && IsTagBlank(text[p])) ++p;
    if (p >= text.size() || text[p] != '>') return std::string_view::npos;
    return p + 1;
  }
  if (p >= text.size()) return std::string_view::npos;
  if (text[p] == '>') return p + 1;
  if (!IsTagBlank(text[p])) return std::string_view::npos;
  const char* gt = FindByte(text, p + 1, '>');
  if (!gt || gt[-1] == '/') return std::string_view::npos;
  return static_cast<size_t>(gt - text.data()) + 1;
}

size_t OpeningTagEnd(std::string_view text, size_t at, std::string_view name) {
  return TagEndAfterPrefix(text, SkipPrefix(text, at + 1), name, false);
}

size_t ClosingTagEnd(std::string_view text, size_t at, std::string_view name) {
  if (at + 1 >= text.size() || text[at + 1] != '/') return std::string_view::npos;
  return TagEndAfterPrefix(text, SkipPrefix(text, at + 2), name, true);
}

TagSpan FindClosingTag(std::string_view text, size_t from, std::string_view name) {
  for (const char* lt = FindByte(text, from, '<'); lt; lt = FindByte(text, static_cast<size_t>(lt - text.data()) + 1, '<')) {
    size_t begin = static_cast<size_t>(lt - text.data());
    size_t end = ClosingTagEnd(text, begin, name);
    if (end != std::string_view::npos) return {begin, end};
  }
  return {std::string_view::npos, std::string_view::npos};
}

std::string ElementPatternSource(std::string_view name) {
  const std::string prefix = "(?:[A-Za-z_][A-Za-z0-9._-]*:)?";
  std::string n(name);
  return "<" + prefix + n + "(?:>|[ \\t\\r\\n][^>]*(?<!/)>)(.*?)</" + prefix + n + "[ \\t\\r\\n]*>";
}

std::vector<ElementMatch> FindNamedElements(std::string_view text, std::string_view name) {
  std::vector<ElementMatch> found;
  size_t from = 0;
  while (const char* lt = FindByte(text, from, '<')) {
    size_t begin = static_cast<size_t>(lt - text.data());
    size_t open_end = OpeningTagEnd(text, begin, name);
    if (open_end == std::string_view::npos) {
      from = begin + 1;
      continue;
    }
    TagSpan close = FindClosingTag(text, open_end, name);
    // No closing tag after this opening tag means none after any later one either.
    if (close.begin == std::string_view::npos) break;
    found.push_back({text.substr(begin, close.end - begin), text.substr(open_end, close.begin - open_end)});
    from = close.end;
  }
  return found;
}

void NamedTagScan::At(std::string_view text, size_t at) {
  const bool closing = at + 1 < text.size() && text[at + 1] == '/';
  const size_t name_begin = SkipPrefix(text, at + 1 + closing);
  if (name_begin >= text.size()) return;
  for (size_t n = 0; n < names_.size(); ++n) {
    if (text[name_begin] != names_[n][0]) continue;
    size_t end = TagEndAfterPrefix(text, name_begin, names_[n], closing);
    if (end != std::string_view::npos) (closing ? found_[n].closings : found_[n].openings).push_back({at, end});
  }
}

void NamedTagScan::Append(const NamedTagScan& later) {
  for (size_t n = 0; n < found_.size(); ++n) {
    found_[n].openings.insert(found_[n].openings.end(), later.found_[n].openings.begin(), later.found_[n].openings.end());
    found_[n].closings.insert(found_[n].closings.end(), later.found_[n].closings.begin(), later.found_[n].closings.end());
  }
}

std::vector<std::vector<ElementMatch>> NamedTagScan::Elements(std::string_view text) const {
  std::vector<std::vector<ElementMatch>> elements(found_.size());
  std::vector<ElementPairing> pairings(found_.size());
  PairInto(text, pairings, [&](size_t name, const ElementMatch& element) { elements[name].push_back(element); });
  return elements;
}

namespace {

constexpr size_t kElementScanBlock = size_t{8} << 20;

}  // namespace

std::vector<std::vector<ElementMatch>> FindElementsOfEach(std::string_view text, const std::vector<std::string_view>& names,
                                                          int threads) {
  NamedTagScan tags(names);
  ScanBlocksInOrder<NamedTagScan>(
      text.size(), kElementScanBlock, threads,
      [&](size_t from, size_t to) {
        NamedTagScan found(names);
        ForEachByte(text, from, to, '<', [&](size_t at) { found.At(text, at); });
        return found;
      },
      [&](const NamedTagScan& found) { tags.Append(found); });
  return tags.Elements(text);
}
