#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tab/mif_objects.h"

// The pens, brushes and symbols of a MAP file, each kept once and numbered from 1 in the
// order first used. A table holds 255 of each kind: beyond them a style gets the number of
// the nearest kept (by colour), and is counted.
class MapTools {
 public:
  uint8_t PenOf(const Pen& pen);
  uint8_t BrushOf(const Brush& brush);
  uint8_t SymbolOf(const Symbol& symbol);

  // The definitions as the tool blocks hold them: the pens, then the brushes, then the
  // symbols, each with how many objects use it.
  std::vector<std::string> Definitions() const;
  size_t pens() const { return pens_.size(); }
  size_t brushes() const { return brushes_.size(); }
  size_t symbols() const { return symbols_.size(); }
  size_t merged() const { return merged_; }

 private:
  std::vector<Pen> pens_;
  std::vector<Brush> brushes_;
  std::vector<Symbol> symbols_;
  std::vector<uint32_t> pen_uses_, brush_uses_, symbol_uses_;
  size_t merged_ = 0;
};
