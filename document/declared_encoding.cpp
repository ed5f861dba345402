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

Encoding ReadingEncoding(std::string_view bytes, Encoding chosen, bool* read_as_gbk) {
  if (read_as_gbk) *read_as_gbk = false;
  if (bytes.substr(0, 3) == kUtf8ByteOrderMark) return chosen;
  if (DeclaredEncodingOf(bytes) == DeclaredEncoding::kGbk) return Encoding::kAnsi;
  if (chosen == Encoding::kUtf8 && read_as_gbk && IsGbkButNoUtf8(bytes)) {
    *read_as_gbk = true;
    return Encoding::kAnsi;
  }
  return chosen;
}

bool IsGbkButNoUtf8(std::string_view bytes) {
  if (HasUtf16ByteOrderMark(bytes)) return false;
  const std::string_view text = bytes.substr(0, bytes.find('\0'));
  return !IsValidUtf8(text) && IsGbk(text);
}

DocumentForm FormOf(std::string_view bytes, Encoding encoding) {
  DocumentForm form;
  form.encoding = encoding;
  if (HasUtf16ByteOrderMark(bytes)) {
    form.encoding = Encoding::kUtf8;
    form.utf16 = true;
    form.big_endian = bytes[0] == '\xFE';
  } else {
    form.utf8_mark = encoding == Encoding::kUtf8 && bytes.substr(0, 3) == kUtf8ByteOrderMark;
  }
  return form;
}

std::string BytesToSave(std::string_view utf8, const DocumentForm& form) {
  const std::string mark(form.utf8_mark ? kUtf8ByteOrderMark : "");
  auto as_read = [&](std::string_view text) {
    if (form.utf16) return Utf8ToUtf16(text, form.big_endian);
    return form.encoding == Encoding::kUtf8 ? mark + std::string(text) : Utf8ToAnsi(std::string(text));
  };
  ValueSpan value = EncodingValue(utf8);
  if (value.begin == std::string_view::npos) return as_read(utf8);
  const DeclaredEncoding declared = Classify(utf8.substr(value.begin, value.size));
  if (declared == DeclaredEncoding::kGbk) return Utf8ToAnsi(std::string(utf8));
  if (declared == DeclaredEncoding::kUtf8) return mark + std::string(utf8);
  if (declared == DeclaredEncoding::kUtf16 && form.utf16) return as_read(utf8);
  std::string renamed(utf8);
  renamed.replace(value.begin, value.size, "UTF-8");
  return mark + renamed;
}
