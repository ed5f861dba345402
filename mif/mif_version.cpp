#include "mif/mif_version.h"

int VersionHolding(bool multipoint, size_t sections, size_t nodes) {
  constexpr size_t kNodes300 = 32767, kNodes450 = 1048575, kPoints650 = 1048576, kSections = 32767;
  if (multipoint) return nodes > kPoints650 ? 800 : 300;
  if (sections > kSections || 3 * sections + nodes > kNodes450) return 800;
  return nodes > kNodes300 ? 450 : 300;
}

void VersionNeeds::AddObject(bool multipoint, size_t sections, size_t nodes) {
  const int least = VersionHolding(multipoint, sections, nodes);
  if (least == 300) return;
  Need(least);
  ++large_objects;
  if (nodes > largest_nodes) {
    largest_nodes = nodes;
    largest_sections = sections;
  }
}

void VersionNeeds::Add(const VersionNeeds& other) {
  Need(other.version);
  large_objects += other.large_objects;
  if (other.largest_nodes > largest_nodes) {
    largest_nodes = other.largest_nodes;
    largest_sections = other.largest_sections;
  }
}
