#pragma once

#include <cstdint>

// Rectangles as the window system gives them: screen or client coordinates, right and bottom
// exclusive.
struct Rect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// What is measured once, when a control is anchored: its place in the parent's client area,
// its distances to the client area's right and bottom edges, and its size.
struct AnchorGeometry {
  int32_t left = 0, top = 0;
  int32_t right_margin = 0, bottom_margin = 0;
  int32_t width = 0, height = 0;
};

struct AnchorFlags {
  bool left = false, top = false, right = false, bottom = false;
};

// Measures a control from the window rectangles of parent and control and the parent's client
// size. The frame is half the difference of window and client width, truncated; what the
// caption and menu take above the client area is the rest of the height difference.
AnchorGeometry MeasureAnchor(const Rect& parent_window, int32_t client_width, int32_t client_height,
                             const Rect& control_window);

// A control's place and size, as MoveWindow takes them.
struct Placement {
  int32_t x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Placement&) const = default;
};

// Where a control goes for a client area of W x H: anchored left and right, it stretches;
// right only, it moves; the same down. May give negative sizes, which are handed on as they are.
Placement PlaceAnchored(const AnchorGeometry& g, const AnchorFlags& flags, int32_t client_width,
                   int32_t client_height);
