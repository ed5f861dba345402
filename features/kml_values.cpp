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
  // The longest entity is 12 bytes: the ";" is looked for no farther, so that a text of many
  // "&" is read in linear time.
  const size_t semicolon = text.substr(0, at + 13).find(';', at);
  if (semicolon == std::string_view::npos) {
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

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string HtmlTagName(std::string_view html, size_t at) {
  std::string name;
  size_t p = at + 1;
  if (p < html.size() && html[p] == '/') name += html[p++];
  while (p < html.size() && ((html[p] >= 'a' && html[p] <= 'z') || (html[p] >= 'A' && html[p] <= 'Z') ||
                             (html[p] >= '0' && html[p] <= '9'))) {
    name += Lower(html[p++]);
  }
  return name;
}

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

std::string UnwrapText(std::string_view text) {
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
  return value;
}

std::string CleanValue(std::string_view text) {
  const std::string value = UnwrapText(text);
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

std::string PlainText(std::string_view html) {
  std::string text;
  text.reserve(html.size());
  size_t next_gt = 0;  // the last ">" found, or npos when there is none after it
  for (size_t at = 0; at < html.size();) {
    if (html[at] != '<') {
      text += html[at++];
      continue;
    }
    // Found once for all the "<" before it: a text of many "<" and no ">" is read in linear time.
    if (next_gt != std::string_view::npos && next_gt <= at) next_gt = html.find('>', at);
    const size_t close = next_gt;
    const std::string name = HtmlTagName(html, at);
    const bool markup = at + 1 < html.size() && (html[at + 1] == '!' || html[at + 1] == '?');
    if (close == std::string_view::npos || ((name.empty() || name == "/") && !markup)) {
      text += html[at++];  // a "<" that begins no tag ("a < b") is text
      continue;
    }
    size_t end = close + 1;
    if (html.substr(at, 4) == "<!--") {
      size_t comment_end = html.find("-->", at + 4);
      end = comment_end == std::string_view::npos ? html.size() : comment_end + 3;
    } else if (name == "script" || name == "style") {
      // Their contents are no text: up to their closing tag.
      size_t inner_end = at;
      for (size_t lt = html.find('<', close); lt != std::string_view::npos; lt = html.find('<', lt + 1)) {
        if (HtmlTagName(html, lt) == "/" + name) {
          inner_end = lt;
          break;
        }
      }
      if (inner_end == at) {
        end = html.size();
      } else {
        size_t gt = html.find('>', inner_end);
        end = gt == std::string_view::npos ? html.size() : gt + 1;
      }
    } else if (name == "br" || name == "/p" || name == "/tr" || name == "/li") {
      text += ' ';
    } else if (name == "/td" || name == "/th") {
      text += "; ";
    }
    at = end;
  }
  // The entities after the tags, so that an escaped "&lt;" stays text; &nbsp; is a blank.
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    if (text.compare(at, 6, "&nbsp;") == 0) {
      decoded += ' ';
      at += 6;
    } else if (text[at] == '&') {
      at = AppendEntity(text, at, decoded);
    } else {
      decoded += text[at++];
    }
  }
  std::string plain;
  plain.reserve(decoded.size());
  for (char c : decoded) {
    const bool blank = IsBlank(c);
    if (blank && (plain.empty() || plain.back() == ' ')) continue;
    plain += blank ? ' ' : c;
  }
  while (!plain.empty() && plain.back() == ' ') plain.pop_back();
  return plain;
}
