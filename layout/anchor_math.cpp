#include "layout/anchor_math.h"

namespace {

// The arithmetic is done in double precision and truncated toward zero; only the halving of
// the frame can lose anything.
int32_t Truncate(double v) { return static_cast<int32_t>(v); }

}  // namespace

AnchorGeometry MeasureAnchor(const Rect& parent, int32_t client_width, int32_t client_height,
                             const Rect& control) {
  double parent_width = static_cast<double>(parent.right) - parent.left;
  double parent_height = static_cast<double>(parent.bottom) - parent.top;
  int32_t frame = Truncate((parent_width - client_width) / 2.0);
  int32_t top_band = Truncate(parent_height - client_height - frame);
  AnchorGeometry g;
  g.left = Truncate(static_cast<double>(control.left) - parent.left - frame);
  g.top = Truncate(static_cast<double>(control.top) - parent.top - top_band);
  g.right_margin = Truncate(static_cast<double>(parent.right) - control.right - frame);
  g.bottom_margin = Truncate(static_cast<double>(parent.bottom) - control.bottom - frame);
  g.width = Truncate(static_cast<double>(control.right) - control.left);
  g.height = Truncate(static_cast<double>(control.bottom) - control.top);
  return g;
}

Placement PlaceAnchored(const AnchorGeometry& g, const AnchorFlags& flags, int32_t client_width,
                   int32_t client_height) {
  double left = g.left, top = g.top, width = g.width, height = g.height;
  if (flags.left && flags.right) {
    width = static_cast<double>(client_width) - g.left - g.right_margin;
  } else if (flags.right) {
    left = static_cast<double>(client_width) - g.width - g.right_margin;
  }
  if (flags.top && flags.bottom) {
    height = static_cast<double>(client_height) - g.top - g.bottom_margin;
  } else if (flags.bottom) {
    top = static_cast<double>(client_height) - g.height - g.bottom_margin;
  }
  return {Truncate(left), Truncate(top), Truncate(width), Truncate(height)};
}
