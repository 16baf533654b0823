#include "canvas/shapes.h"

#include <algorithm>
#include <cmath>

#include "canvas/layer_stack.h"

namespace vnscope {
namespace {

// A segment as the line tool steps it, but a vertical or horizontal one is
// clipped to the stamps whose brush reaches the image instead of being pulled
// onto its edge. Its stamps, all of one value, are laid as the three rows (or
// columns) of pixels they cover.
void DrawClippedSegment(Layer& layer, CanvasPoint from, CanvasPoint to, uint32_t value) {
  if (from.x != to.x && from.y != to.y) {
    StepSegment(layer, from.x, from.y, to.x, to.y, value);
    return;
  }
  const bool vertical = from.x == to.x;
  const int32_t across = vertical ? from.x : from.y;
  const int32_t size = vertical ? layer.height : layer.width;
  if (across < -1 || across > (vertical ? layer.width : layer.height)) return;
  const int32_t low = std::max(std::min(vertical ? from.y : from.x, vertical ? to.y : to.x), -1);
  const int32_t high = std::min(std::max(vertical ? from.y : from.x, vertical ? to.y : to.x), size);
  if (low > high) return;
  if (!vertical) {
    FillLayerRun(layer, low, across - 1, high - low + 1, value);
    FillLayerRun(layer, low - 1, across, high - low + 3, value);
    FillLayerRun(layer, low, across + 1, high - low + 1, value);
    return;
  }
  SetLayerPixel(layer, across, low - 1, value);
  for (int32_t y = std::max(low, 0); y <= std::min(high, size - 1); ++y) FillLayerRun(layer, across - 1, y, 3, value);
  SetLayerPixel(layer, across, high + 1, value);
}

// The layer the tools draw into; null while the base layer is current.
Layer* ToolLayer() { return CurrentLayerIndex() == 0 ? nullptr : CurrentLayer(); }

}  // namespace

void DrawRectangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  Layer* layer = ToolLayer();
  if (layer == nullptr) return;
  const uint32_t value = LinePixel();
  const CanvasPoint corners[4] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
  for (int side = 0; side < 4; ++side) DrawClippedSegment(*layer, corners[side], corners[(side + 1) % 4], value);
}

std::pair<CanvasPoint, CanvasPoint> ArrowHeadEnds(CanvasPoint tail, CanvasPoint tip) {
  const double dx = tip.x - tail.x, dy = tip.y - tail.y;
  const double length = std::hypot(dx, dy);
  const double backX = -dx / length, backY = -dy / length;
  const double turn = kArrowHeadDegrees * std::acos(-1.0) / 180;
  const double c = std::cos(turn) * kArrowHeadLength, s = std::sin(turn) * kArrowHeadLength;
  auto end = [&](double x, double y) {
    return CanvasPoint{tip.x + static_cast<int32_t>(std::lround(x)), tip.y + static_cast<int32_t>(std::lround(y))};
  };
  return {end(backX * c - backY * s, backX * s + backY * c), end(backX * c + backY * s, -backX * s + backY * c)};
}

void DrawArrow(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  Layer* layer = ToolLayer();
  if (layer == nullptr || (x0 == x1 && y0 == y1)) return;
  const uint32_t value = LinePixel();
  const CanvasPoint tail{x0, y0}, tip{x1, y1};
  // The shaft's stepping leaves the tip out; the head's strokes start there.
  DrawClippedSegment(*layer, tail, tip, value);
  const auto [one, other] = ArrowHeadEnds(tail, tip);
  DrawClippedSegment(*layer, tip, one, value);
  DrawClippedSegment(*layer, tip, other, value);
}

}  // namespace vnscope
