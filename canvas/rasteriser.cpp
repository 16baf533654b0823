#include "canvas/rasteriser.h"

#include <algorithm>
#include <utility>

namespace vnscope {

CanvasPoint ClientToImage(const CanvasView& view, CanvasPoint client) {
  const int32_t halfWidth = view.width / 2, halfHeight = view.height / 2;
  return {halfWidth + (client.x - view.pan.x - halfWidth) / view.zoom,
          halfHeight + (client.y - view.pan.y - halfHeight) / view.zoom};
}

CanvasPoint ImageOrigin(const CanvasView& view) {
  return {view.width / 2 - (view.width * view.zoom) / 2 + view.pan.x,
          view.height / 2 - (view.height * view.zoom) / 2 + view.pan.y};
}

namespace {

int32_t ClampPanAxis(int32_t pan, int32_t size, int32_t zoom) {
  const int32_t lower = size / 2 - (zoom * size) / 2;
  const int32_t upper = (zoom * size) / 2 - size / 2;
  if (pan < lower) return lower;
  if (pan > upper) return upper;
  return pan;
}

int32_t ClampInto(int32_t value, int32_t size) { return std::clamp(value, 0, std::max(size - 1, 0)); }

}  // namespace

void ClampPan(CanvasView& view) {
  view.pan.x = ClampPanAxis(view.pan.x, view.width, view.zoom);
  view.pan.y = ClampPanAxis(view.pan.y, view.height, view.zoom);
}

void StepZoom(CanvasView& view, bool out) {
  view.zoom += out ? -1 : 1;
  if (view.zoom < kMinZoom) {
    view.zoom = kMinZoom;
    view.pan = {};
    view.panAnchor = {};
  } else if (view.zoom > kMaxZoom) {
    view.zoom = kMaxZoom;
  }
  ClampPan(view);
}

void DragPan(CanvasView& view, CanvasPoint position) {
  view.pan.x += position.x - view.panAnchor.x;
  view.pan.y += position.y - view.panAnchor.y;
  view.panAnchor = position;
  ClampPan(view);
}

void StampBrush(Layer& layer, int32_t x, int32_t y, uint32_t value) {
  // The pixels whose distance from the centre is at most 1.
  static constexpr int32_t kPlus[5][2] = {{0, -1}, {-1, 0}, {0, 0}, {1, 0}, {0, 1}};
  for (const auto& offset : kPlus) SetLayerPixel(layer, x + offset[0], y + offset[1], value);
}

void StepSegment(Layer& layer, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t value) {
  const int32_t dx = x1 - x0, dy = y1 - y0;
  const int32_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  int32_t x = x0, y = y0;
  // The axis of the longer extent advances at every step, the other one
  // whenever the error reaches that extent; a tie goes along y.
  const bool alongX = adx > ady;
  int32_t& major = alongX ? x : y;
  int32_t& minor = alongX ? y : x;
  const int32_t majorStep = (alongX ? dx : dy) < 0 ? -1 : 1;
  const int32_t minorStep = (alongX ? dy : dx) < 0 ? -1 : 1;
  const int32_t length = alongX ? adx : ady, rise = alongX ? ady : adx;
  int32_t err = 0;
  for (int32_t step = 0; step < length; ++step) {
    StampBrush(layer, x, y, value);
    err += rise;
    if (err >= length) {
      err -= length;
      minor += minorStep;
    }
    major += majorStep;
  }
}

void DrawSegment(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  if (CurrentLayerIndex() == 0) return;
  Layer* layer = CurrentLayer();
  if (layer == nullptr) return;
  const uint32_t value = LinePixel();
  const int32_t width = layer->width, height = layer->height;
  if (x0 == x1 || y0 == y1) {
    const bool vertical = x0 == x1;
    int32_t from = vertical ? y0 : x0, to = vertical ? y1 : x1;
    if (from > to) std::swap(from, to);
    const int32_t along = vertical ? height : width;
    const int32_t across = ClampInto(vertical ? x0 : y0, vertical ? width : height);
    for (int32_t i = ClampInto(from, along), last = ClampInto(to, along); i <= last; ++i)
      StampBrush(*layer, vertical ? across : i, vertical ? i : across, value);
    return;
  }
  StepSegment(*layer, x0, y0, x1, y1, value);
}

}  // namespace vnscope
