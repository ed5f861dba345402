#include "tab/region_rings.h"

#include <algorithm>
#include <cstddef>

namespace {

// Where (x, y) lies against the ring of `count` grid vertices at xy: 1 inside, -1 outside,
// 0 on its edge (even-odd rule, in exact integer arithmetic).
int Side(const int32_t* xy, size_t count, int64_t x, int64_t y) {
  bool inside = false;
  for (size_t i = 0, j = count - 1; i < count; j = i++) {
    const int64_t xi = xy[2 * i], yi = xy[2 * i + 1], xj = xy[2 * j], yj = xy[2 * j + 1];
    const int64_t cross = (xj - xi) * (y - yi) - (yj - yi) * (x - xi);
    if (cross == 0 && std::min(xi, xj) <= x && x <= std::max(xi, xj) && std::min(yi, yj) <= y && y <= std::max(yi, yj)) {
      return 0;
    }
    if ((yi > y) != (yj > y) && ((cross > 0) == (yj > yi))) inside = !inside;
  }
  return inside ? 1 : -1;
}

struct Box {
  int32_t min_x = INT32_MAX, min_y = INT32_MAX, max_x = INT32_MIN, max_y = INT32_MIN;
  void Add(int32_t x, int32_t y) {
    min_x = std::min(min_x, x);
    min_y = std::min(min_y, y);
    max_x = std::max(max_x, x);
    max_y = std::max(max_y, y);
  }
};

}  // namespace

RingOrder PolygonOrder(const std::vector<uint32_t>& vertices, const std::vector<int32_t>& xy) {
  const size_t rings = vertices.size();
  std::vector<size_t> first(rings);
  std::vector<Box> boxes(rings);
  for (size_t r = 0, at = 0; r < rings; at += vertices[r], ++r) {
    first[r] = at;
    for (size_t v = at; v < at + vertices[r]; ++v) boxes[r].Add(xy[2 * v], xy[2 * v + 1]);
  }
  auto area = [&](size_t r) {
    return (static_cast<double>(boxes[r].max_x) - boxes[r].min_x) * (static_cast<double>(boxes[r].max_y) - boxes[r].min_y);
  };
  auto inside = [&](size_t r, size_t o) {
    const Box& a = boxes[o];
    const Box& b = boxes[r];
    if (vertices[o] < 3 || b.min_x < a.min_x || b.max_x > a.max_x || b.min_y < a.min_y || b.max_y > a.max_y) return false;
    bool some_inside = false;
    for (size_t v = first[r]; v < first[r] + vertices[r]; ++v) {
      const int side = Side(&xy[2 * first[o]], vertices[o], xy[2 * v], xy[2 * v + 1]);
      if (side < 0) return false;
      if (side > 0) some_inside = true;
    }
    return some_inside;
  };
  std::vector<int> depth(rings, 0);
  std::vector<size_t> parent(rings, SIZE_MAX);
  for (size_t r = 0; r < rings && rings > 1; ++r) {
    for (size_t o = 0; o < rings; ++o) {
      if (o == r || !inside(r, o)) continue;
      ++depth[r];
      if (parent[r] == SIZE_MAX || area(o) < area(parent[r])) parent[r] = o;
    }
  }
  RingOrder order;
  std::vector<bool> placed(rings, false);
  for (size_t r = 0; r < rings; ++r) {
    if (depth[r] % 2 == 1) continue;
    order.rings.push_back(static_cast<uint32_t>(r));
    order.holes.push_back(0);
    placed[r] = true;
    const size_t outer = order.holes.size() - 1;
    for (size_t h = 0; h < rings; ++h) {
      if (depth[h] % 2 == 1 && parent[h] == r && !placed[h]) {
        order.rings.push_back(static_cast<uint32_t>(h));
        order.holes.push_back(0);
        placed[h] = true;
        ++order.holes[outer];
      }
    }
  }
  for (size_t r = 0; r < rings; ++r) {
    if (!placed[r]) {
      order.rings.push_back(static_cast<uint32_t>(r));
      order.holes.push_back(0);
    }
  }
  return order;
}
