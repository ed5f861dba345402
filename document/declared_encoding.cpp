#include "document/declared_encoding.h"

#include "document/encoding.h"

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kLongestDeclaration = 256;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// Where the value of the declaration's encoding lies in `text`, without its quotes; empty
// (at npos) when there is none.
struct ValueSpan {
  size_t begin = std::string_view::npos;
  size_t size = 0;
};

ValueSpan EncodingValue(std::string_view text) {
  size_t at = 0;
  if (text.substr(0, 3) == kUtf8ByteOrderMark) at = 3;
  while (at < text.size() && IsBlank(text[at])) ++at;
  if (text.substr(at, 5) != "<?xml" || at + 5 >= text.size() || !IsBlank(text[at + 5])) return {};
  const size_t end = text.find("?>", at);
  if (end == std::string_view::npos || end - at > kLongestDeclaration) return {};
  std::string_view declaration = text.substr(0, end);
  for (size_t name = declaration.find("encoding", at); name != std::string_view::npos;
       name = declaration.find("encoding", name + 1)) {
    if (!IsBlank(declaration[name - 1])) continue;
    size_t p = name + 8;
    while (p < declaration.size() && IsBlank(declaration[p])) ++p;
    if (p >= declaration.size() || declaration[p] != '=') continue;
    ++p;
    while (p < declaration.size() && IsBlank(declaration[p])) ++p;
    if (p >= declaration.size() || (declaration[p] != '"' && declaration[p] != '\'')) continue;
    size_t close = declaration.find(declaration[p], p + 1);
    if (close == std::string_view::npos) return {};
    return {p + 1, close - p - 1};
  }
  return {};
}

DeclaredEncoding Classify(std::string_view name) {
  for (std::string_view utf8 : {"UTF-8", "UTF8"}) {
    if (EqualsIgnoringCase(name, utf8)) return DeclaredEncoding::kUtf8;
  }
  for (std::string_view utf16 : {"UTF-16", "UTF-16LE", "UTF-16BE", "UTF16"}) {
    if (EqualsIgnoringCase(name, utf16)) return DeclaredEncoding::kUtf16;
  }
  for (std::string_view gbk : {"GBK", "GB2312", "GB18030", "CP936"}) {
    if (EqualsIgnoringCase(name, gbk)) return DeclaredEncoding::kGbk;
  }
  return DeclaredEncoding::kOther;
}

}  // namespace

DeclaredEncoding DeclaredEncodingOf(std::string_view text) {
  ValueSpan value = EncodingValue(text);
  if (value.begin == std::string_view::npos) return DeclaredEncoding::kNone;
  return Classify(text.substr(value.begin, value.size));
}

Encoding ReadingEncoding(std::string_view bytes, Encoding chosen) {
  if (bytes.substr(0, 3) == kUtf8ByteOrderMark) return chosen;
  return DeclaredEncodingOf(bytes) == DeclaredEncoding::kGbk ? Encoding::kAnsi : chosen;
}

std::string BytesToSave(std::string_view text, Encoding read_as) {
  ValueSpan value = EncodingValue(text);
  if (value.begin == std::string_view::npos) {
    return read_as == Encoding::kUtf8 ? AnsiToUtf8(text) : std::string(text);
  }
  const DeclaredEncoding declared = Classify(text.substr(value.begin, value.size));
  if (declared == DeclaredEncoding::kGbk) return std::string(text);
  if (declared == DeclaredEncoding::kUtf8) return AnsiToUtf8(text);
  std::string renamed(text);
  renamed.replace(value.begin, value.size, "UTF-8");
  return AnsiToUtf8(renamed);
}
