#pragma once

#include <cstddef>

// The MIF version a file declares tells MapInfo which objects to expect, and a reader of an
// older version shows no object for a row it cannot hold. Version 300 holds polylines and
// regions of up to 32,767 nodes; 450 up to 1,048,575 nodes and three per section; 650 adds
// multipoints and collections; 800 holds more sections than 32,767 and larger objects.
// A file declares the least version that holds all its objects.

// The least version that holds a polyline or region of `sections` sections and `nodes` nodes
// in all (300, 450 or 800); with `multipoint`, a multipoint of `nodes` points (300 or 800).
int VersionHolding(bool multipoint, size_t sections, size_t nodes);

// What the objects of a file need of its version, gathered as they are written.
struct VersionNeeds {
  int version = 300;
  size_t large_objects = 0;  // objects that version 300 cannot hold
  size_t largest_nodes = 0;  // the nodes and sections of the largest of them
  size_t largest_sections = 0;

  void AddObject(bool multipoint, size_t sections, size_t nodes);
  void Need(int least) { version = least > version ? least : version; }  // 650: a multipoint or collection
  void Add(const VersionNeeds& other);
};
