#include "features/mif_styles.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace {

struct Color {
  unsigned alpha;
  long rgb;
};

std::optional<Color> ParseColor(const std::string& text) {
  std::string hex = text.substr(text.size() >= 1 && text[0] == '#' ? 1 : 0);
  if (hex.size() != 8 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return std::nullopt;
  unsigned long value = std::strtoul(hex.c_str(), nullptr, 16);
  unsigned long blue = (value >> 16) & 0xFF, green = (value >> 8) & 0xFF, red = value & 0xFF;
  return Color{static_cast<unsigned>(value >> 24), static_cast<long>(red * 65536 + green * 256 + blue)};
}

std::optional<long> RoundedBetween(const std::string& text, double factor, long low, long high) {
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value)) return std::nullopt;
  return std::clamp(std::lround(value * factor), low, high);
}

bool IsOff(const std::string& flag) { return flag == "0" || flag == "false"; }

// Pen (width, pattern, colour), from the defaults 3, 2 and 2105599.
std::string Pen(const KmlStyle* style, bool region) {
  long width = 3, pattern = 2, color = 2105599;
  if (style) {
    if (auto w = RoundedBetween(style->line_width, 1, 1, 7)) width = *w;
    if (auto c = ParseColor(style->line_color)) {
      color = c->rgb;
      if (c->alpha == 0) pattern = 1;
    }
    if (region && IsOff(style->outline)) pattern = 1;
  }
  return "    Pen (" + std::to_string(width) + "," + std::to_string(pattern) + "," + std::to_string(color) + ")";
}

}  // namespace

std::string SymbolClause(const KmlStyle* style) {
  long color = 0, size = 12;
  if (style) {
    if (auto c = ParseColor(style->icon_color)) color = c->rgb;
    if (auto s = RoundedBetween(style->icon_scale, 12, 1, 48)) size = *s;
  }
  return "    Symbol (35," + std::to_string(color) + "," + std::to_string(size) + ")\r\n";
}

std::string PlineClause(const KmlStyle* style) { return Pen(style, false); }

std::string RegionClause(const KmlStyle* style) {
  std::string brush = "Brush (2,16728128,16777215)";
  std::optional<Color> fill = style ? ParseColor(style->poly_color) : std::nullopt;
  // A fill colour with alpha 00 is how many tools write an outline-only polygon.
  if (style && (IsOff(style->fill) || (fill && fill->alpha == 0))) {
    brush = "Brush (1,0)";
  } else if (fill) {
    brush = "Brush (2," + std::to_string(fill->rgb) + ")";
  }
  return Pen(style, true) + "\r\n    " + brush;
}
