#include "document/file_names.h"

namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWithIgnoringCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  s = s.substr(s.size() - suffix.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (AsciiLower(s[i]) != AsciiLower(suffix[i])) return false;
  }
  return true;
}

}  // namespace

std::string WithExtension(std::string_view name, std::string_view extension) {
  std::string path(name);
  if (!EndsWithIgnoringCase(name, extension)) path.append(extension);
  return path;
}

std::string ReplaceExtension(std::string_view path, std::string_view extension) {
  size_t base = path.find_last_of("/\\");
  base = base == std::string_view::npos ? 0 : base + 1;
  size_t dot = path.rfind('.');
  std::string result(path);
  // A leading dot names a hidden file; it is no extension.
  if (dot != std::string_view::npos && dot > base) result.resize(dot);
  result.append(extension);
  return result;
}

std::string_view FileNameOf(std::string_view path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view ParentFolderOf(std::string_view path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}
