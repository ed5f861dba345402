#include "tab/map_tools.h"

#include <algorithm>

namespace {

uint32_t ColorDistance(uint32_t a, uint32_t b) {
  uint32_t d = 0;
  for (int shift : {0, 8, 16}) {
    const int diff = static_cast<int>((a >> shift) & 0xff) - static_cast<int>((b >> shift) & 0xff);
    d += static_cast<uint32_t>(diff * diff);
  }
  return d;
}

// The number of `style` among `kept`, which it joins while there is room; beyond that the
// nearest kept by `distance`, counted in *merged.
template <typename Style, typename Distance>
uint8_t NumberOf(const Style& style, std::vector<Style>& kept, std::vector<uint32_t>& uses, size_t* merged,
                 Distance distance) {
  auto found = std::find(kept.begin(), kept.end(), style);
  if (found == kept.end() && kept.size() < 255) {
    kept.push_back(style);
    uses.push_back(0);
    found = kept.end() - 1;
  } else if (found == kept.end()) {
    ++*merged;
    found = std::min_element(kept.begin(), kept.end(),
                             [&](const Style& a, const Style& b) { return distance(a) < distance(b); });
  }
  ++uses[static_cast<size_t>(found - kept.begin())];
  return static_cast<uint8_t>(found - kept.begin() + 1);
}

void AppendInt(std::string& out, uint32_t value, int bytes) {
  for (int b = 0; b < bytes; ++b) out += static_cast<char>((value >> (8 * b)) & 0xff);
}

void AppendColor(std::string& out, uint32_t rgb) {
  out += static_cast<char>((rgb >> 16) & 0xff);
  out += static_cast<char>((rgb >> 8) & 0xff);
  out += static_cast<char>(rgb & 0xff);
}

}  // namespace

uint8_t MapTools::PenOf(const Pen& pen) {
  return NumberOf(pen, pens_, pen_uses_, &merged_,
                  [&](const Pen& a) { return ColorDistance(a.color, pen.color) + (a.width != pen.width); });
}

uint8_t MapTools::BrushOf(const Brush& brush) {
  return NumberOf(brush, brushes_, brush_uses_, &merged_,
                  [&](const Brush& a) { return ColorDistance(a.fore, brush.fore); });
}

uint8_t MapTools::SymbolOf(const Symbol& symbol) {
  return NumberOf(symbol, symbols_, symbol_uses_, &merged_,
                  [&](const Symbol& a) { return ColorDistance(a.color, symbol.color); });
}

std::vector<std::string> MapTools::Definitions() const {
  std::vector<std::string> definitions;
  // A pen: its width in pixels, its pattern, a width in points (none), its colour.
  for (size_t i = 0; i < pens_.size(); ++i) {
    std::string def(1, '\x01');
    AppendInt(def, pen_uses_[i], 4);
    def += static_cast<char>(pens_[i].width <= 10 ? pens_[i].width : 1);
    def += static_cast<char>(pens_[i].pattern);
    def += '\0';
    AppendColor(def, pens_[i].color);
    definitions.push_back(std::move(def));
  }
  // A brush: its pattern, whether its background is transparent, its two colours.
  for (size_t i = 0; i < brushes_.size(); ++i) {
    std::string def(1, '\x02');
    AppendInt(def, brush_uses_[i], 4);
    def += static_cast<char>(brushes_[i].pattern);
    def += static_cast<char>(brushes_[i].transparent ? 1 : 0);
    AppendColor(def, brushes_[i].fore);
    AppendColor(def, brushes_[i].back);
    definitions.push_back(std::move(def));
  }
  // A symbol: its shape, its size, a style (none), its colour.
  for (size_t i = 0; i < symbols_.size(); ++i) {
    std::string def(1, '\x04');
    AppendInt(def, symbol_uses_[i], 4);
    AppendInt(def, static_cast<uint32_t>(symbols_[i].shape), 2);
    AppendInt(def, static_cast<uint32_t>(symbols_[i].size), 2);
    def += '\0';
    AppendColor(def, symbols_[i].color);
    definitions.push_back(std::move(def));
  }
  return definitions;
}
