#include "features/kml_walk.h"

#include <array>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "mif/element_tags.h"

namespace kml_walk_internal {

namespace {

constexpr std::array<bool, 256> kNameBytes = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '-' || c == '.' || c == ':' || c >= 0x80;
  }
  return table;
}();

bool IsNameByte(char c) { return kNameBytes[static_cast<unsigned char>(c)]; }

// The run of name bytes that begins at `p`, sixteen bytes at a time: on return `p` is past
// it and `name_begin` past its last ":". False when the run may be longer, or the text ends
// too soon: then the caller reads it byte by byte.
bool NameRun(std::string_view text, size_t& name_begin, size_t& p) {
#ifdef __SSE2__
  if (p + 16 > text.size()) return false;
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + p));
  auto in = [&](char low, char high) {
    return _mm_and_si128(_mm_cmpgt_epi8(b, _mm_set1_epi8(static_cast<char>(low - 1))),
                         _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(high + 1)), b));
  };
  // Bytes above 0x7F are negative here; "-", ".", "/", digits and ":" are one range, less "/".
  __m128i name = _mm_or_si128(_mm_cmplt_epi8(b, _mm_setzero_si128()),
                              _mm_andnot_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8('/')), in('-', ':')));
  name = _mm_or_si128(name, _mm_or_si128(in('A', 'Z'), in('a', 'z')));
  name = _mm_or_si128(name, _mm_cmpeq_epi8(b, _mm_set1_epi8('_')));
  const auto others = static_cast<uint32_t>(~_mm_movemask_epi8(name)) & 0xFFFF;
  if (!others) return false;
  const int length = __builtin_ctz(others);
  const auto colons =
      static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(b, _mm_set1_epi8(':')))) & ((1u << length) - 1);
  if (colons) name_begin = p + static_cast<size_t>(32 - __builtin_clz(colons));
  p += static_cast<size_t>(length);
  return true;
#else
  (void)text, (void)name_begin, (void)p;
  return false;
#endif
}

// One past the first `terminator` at or after `from`, or npos.
size_t EndOf(std::string_view text, size_t from, std::string_view terminator, size_t& fails_from) {
  if (from >= fails_from) return std::string_view::npos;
  size_t end = text.find(terminator, from);
  if (end == std::string_view::npos) {
    fails_from = from;
    return end;
  }
  return end + terminator.size();
}

// The end of the tag whose name ends at text[p], or npos; quoted attribute values may hold
// ">". The tag ends before the next "<" or it is none.
size_t TagEnd(std::string_view text, size_t p) {
  char quote = 0;
  for (; p < text.size(); ++p) {
    char c = text[p];
    if (c == '<') return std::string_view::npos;
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return p + 1;
    }
  }
  return std::string_view::npos;
}

}  // namespace

size_t ReadMarkup(std::string_view text, size_t at, Unterminated& unterminated, KmlTag& tag) {
  const char second = at + 1 < text.size() ? text[at + 1] : '\0';
  if (second == '!' || second == '?') {
    std::string_view rest = text.substr(at, 9);
    if (rest == "<![CDATA[") return EndOf(text, at + 9, "]]>", unterminated.cdata);
    if (rest.substr(0, 4) == "<!--") return EndOf(text, at + 4, "-->", unterminated.comment);
    if (second == '?') return EndOf(text, at + 2, "?>", unterminated.instruction);
    return EndOf(text, at + 2, ">", unterminated.declaration);
  }
  const bool closing = second == '/';
  size_t p = at + 1 + closing;
  size_t name_begin = p;
  if (!NameRun(text, name_begin, p)) {
    for (; p < text.size() && IsNameByte(text[p]); ++p) {
      if (text[p] == ':') name_begin = p + 1;  // past a prefix
    }
  }
  if (p == name_begin) return std::string_view::npos;
  size_t end = p < text.size() && text[p] == '>' ? p + 1 : std::string_view::npos;
  if (end == std::string_view::npos) {
    if (p < text.size() && text[p] != '/' && !IsTagBlank(text[p])) return std::string_view::npos;
    end = TagEnd(text, p);
    if (end == std::string_view::npos) return end;
  }
  tag.name = text.substr(name_begin, p - name_begin);
  tag.text = text.substr(at, end - at);
  tag.begin = at;
  tag.end = end;
  tag.closing = closing;
  tag.empty = !closing && text[end - 2] == '/';
  return end;
}

}  // namespace kml_walk_internal

std::string_view AttributeValue(std::string_view tag, std::string_view name) {
  size_t at = 0;
  while ((at = tag.find(name, at + 1)) != std::string_view::npos) {
    // The whole attribute name: a blank before it, "=" (after blanks) behind it.
    if (!IsTagBlank(tag[at - 1])) continue;
    size_t p = at + name.size();
    while (p < tag.size() && IsTagBlank(tag[p])) ++p;
    if (p >= tag.size() || tag[p] != '=') continue;
    ++p;
    while (p < tag.size() && IsTagBlank(tag[p])) ++p;
    if (p >= tag.size() || (tag[p] != '"' && tag[p] != '\'')) continue;
    size_t close = tag.find(tag[p], p + 1);
    if (close == std::string_view::npos) return {};
    return tag.substr(p + 1, close - p - 1);
  }
  return {};
}

bool HoldsKmlElements(std::string_view text) {
  static constexpr std::string_view kKmlElements[] = {
      "kml",        "Document",   "Folder", "Placemark", "Point",       "LineString", "LinearRing",
      "Polygon",    "MultiGeometry", "Track", "NetworkLink", "Style", "StyleMap",
  };
  bool found = false;
  WalkKml(text, 0, [&](const KmlTag& tag) {
    for (std::string_view name : kKmlElements) found = found || tag.name == name;
    return !found;
  });
  return found;
}
