#include "features/kml_walk.h"

#include "mif/element_tags.h"

namespace kml_walk_internal {

namespace {

bool IsNameByte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
         c == '.' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

size_t EndOf(std::string_view text, size_t from, std::string_view terminator) {
  size_t end = text.find(terminator, from);
  return end == std::string_view::npos ? end : end + terminator.size();
}

}  // namespace

size_t ReadMarkup(std::string_view text, size_t at, KmlTag* tag, bool* is_tag) {
  std::string_view rest = text.substr(at);
  if (rest.substr(0, 9) == "<![CDATA[") return EndOf(text, at + 9, "]]>");
  if (rest.substr(0, 4) == "<!--") return EndOf(text, at + 4, "-->");
  if (rest.substr(0, 2) == "<?") return EndOf(text, at + 2, "?>");
  if (rest.substr(0, 2) == "<!") return EndOf(text, at + 2, ">");
  size_t p = at + 1;
  tag->closing = p < text.size() && text[p] == '/';
  if (tag->closing) ++p;
  size_t name_begin = p;
  while (p < text.size() && IsNameByte(text[p])) ++p;
  if (p == name_begin) return std::string_view::npos;
  std::string_view qualified = text.substr(name_begin, p - name_begin);
  size_t colon = qualified.rfind(':');
  tag->name = colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
  if (p < text.size() && text[p] != '>' && text[p] != '/' && !IsTagBlank(text[p])) return std::string_view::npos;
  // Attribute values may hold ">": quoted text is passed over.
  char quote = 0;
  for (; p < text.size(); ++p) {
    char c = text[p];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      break;
    } else if (c == '<') {
      return std::string_view::npos;  // no tag: a "<" of text before it
    }
  }
  if (p >= text.size()) return std::string_view::npos;
  tag->empty = !tag->closing && text[p - 1] == '/';
  tag->begin = at;
  tag->end = p + 1;
  tag->text = text.substr(at, tag->end - at);
  *is_tag = true;
  return tag->end;
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
