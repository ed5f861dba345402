#pragma once

#include <filesystem>
#include <string>
#include <vector>

// The real KML files of the corpus, sorted by name.
std::vector<std::filesystem::path> CorpusFiles();

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// A fresh folder, removed with everything in it when the object goes.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// A Google-Earth-layout document with `placemarks` placemarks of each kind; its coordinates
// have 6 decimals, or with `full_precision` the 16 or 17 digits of Google Earth Pro.
std::string GenerateKml(int placemarks, int vertices_per_line, bool full_precision = false);
