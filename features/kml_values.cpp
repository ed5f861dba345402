#include "features/kml_values.h"

#include <cstdint>
#include <cstdlib>

#include "document/encoding.h"

namespace {

// The text of the character `code`, or empty for a number that names none.
std::string CharacterText(uint32_t code) {
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {};
  if (code < 0x80) return std::string(1, static_cast<char>(code));
  std::u16string units;
  if (code < 0x10000) {
    units += static_cast<char16_t>(code);
  } else {
    units += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
    units += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
  }
  return WideToAnsi(units);
}

// Appends the text of the entity at text[at] == '&' and returns where the text goes on; an
// "&" that begins no entity is itself.
size_t AppendEntity(std::string_view text, size_t at, std::string& out) {
  size_t semicolon = text.find(';', at);
  if (semicolon == std::string_view::npos || semicolon - at > 12) {
    out += '&';
    return at + 1;
  }
  std::string_view name = text.substr(at + 1, semicolon - at - 1);
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
  for (const auto& [entity, c] : kNamed) {
    if (name == entity) {
      out += c;
      return semicolon + 1;
    }
  }
  if (name.size() >= 2 && name[0] == '#') {
    bool hex = name[1] == 'x' || name[1] == 'X';
    std::string digits(name.substr(hex ? 2 : 1));
    char* end = nullptr;
    unsigned long code = digits.empty() ? 0 : std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
    std::string character = end && *end == '\0' ? CharacterText(static_cast<uint32_t>(code)) : "";
    if (!character.empty()) {
      out += character;
      return semicolon + 1;
    }
  }
  out += '&';
  return at + 1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string DecodeEntities(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    if (text[at] == '&') {
      at = AppendEntity(text, at, out);
    } else {
      out += text[at++];
    }
  }
  return out;
}

std::string CleanValue(std::string_view text) {
  std::string value;
  value.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    if (text.substr(at, 9) == "<![CDATA[") {
      size_t end = text.find("]]>", at + 9);
      size_t stop = end == std::string_view::npos ? text.size() : end;
      value.append(text.substr(at + 9, stop - at - 9));
      at = end == std::string_view::npos ? text.size() : end + 3;
    } else if (text[at] == '&') {
      at = AppendEntity(text, at, value);
    } else {
      value += text[at++];
    }
  }
  size_t first = 0, last = value.size();
  while (first < last && IsBlank(value[first])) ++first;
  while (last > first && IsBlank(value[last - 1])) --last;
  std::string clean;
  clean.reserve(last - first);
  for (size_t i = first; i < last; ++i) {
    char c = value[i];
    if (c == '\r' && i + 1 < last && value[i + 1] == '\n') continue;  // CR LF is one line break
    clean += (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
  }
  return clean;
}
