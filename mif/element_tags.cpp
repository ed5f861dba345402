#include "mif/element_tags.h"

#include <cstring>

namespace {

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

// Where the element name starts after the "<" or "</" that ends at `at`: past a prefix when
// there is one. A name never holds ":", so only one reading can lead to a match.
size_t SkipPrefix(std::string_view text, size_t at) {
  size_t p = at;
  if (p < text.size() && IsNameStart(text[p])) {
    ++p;
    while (p < text.size() && IsNameChar(text[p])) ++p;
    if (p < text.size() && text[p] == ':') return p + 1;
  }
  return at;
}

bool NameAt(std::string_view text, size_t at, std::string_view name) {
  return text.size() - at >= name.size() && std::memcmp(text.data() + at, name.data(), name.size()) == 0;
}

const char* FindByte(std::string_view text, size_t from, char c) {
  if (from >= text.size()) return nullptr;
  return static_cast<const char*>(std::memchr(text.data() + from, c, text.size() - from));
}

}  // namespace

size_t OpeningTagEnd(std::string_view text, size_t at, std::string_view name) {
  size_t p = SkipPrefix(text, at + 1);
  if (!NameAt(text, p, name)) return std::string_view::npos;
  p += name.size();
  if (p >= text.size()) return std::string_view::npos;
  if (text[p] == '>') return p + 1;
  if (!IsTagBlank(text[p])) return std::string_view::npos;
  const char* gt = FindByte(text, p + 1, '>');
  if (!gt || gt[-1] == '/') return std::string_view::npos;
  return static_cast<size_t>(gt - text.data()) + 1;
}

size_t ClosingTagEnd(std::string_view text, size_t at, std::string_view name) {
  if (at + 1 >= text.size() || text[at + 1] != '/') return std::string_view::npos;
  size_t p = SkipPrefix(text, at + 2);
  if (!NameAt(text, p, name)) return std::string_view::npos;
  p += name.size();
  while (p < text.size() && IsTagBlank(text[p])) ++p;
  if (p >= text.size() || text[p] != '>') return std::string_view::npos;
  return p + 1;
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
