// Lines into the current layer and the mapping between the canvas window and
// the image under zoom and pan. Platform-free.
#pragma once
#include <cstdint>

#include "canvas/layer_stack.h"

namespace vnscope {

struct CanvasPoint {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const CanvasPoint&) const = default;
};

inline constexpr int32_t kMinZoom = 1;
inline constexpr int32_t kMaxZoom = 5;

// How the image of width x height pixels sits in the window: magnified by
// `zoom` about the image centre and shifted by `pan` client pixels.
// `panAnchor` is the last mouse position of a pan drag.
struct CanvasView {
  int32_t width = 0;
  int32_t height = 0;
  int32_t zoom = kMinZoom;
  CanvasPoint pan;
  CanvasPoint panAnchor;
};

// Client position to image pixel: W/2 + (x - pan.x - W/2) / zoom, likewise for
// y, every division truncating toward zero.
CanvasPoint ClientToImage(const CanvasView& view, CanvasPoint client);

// Where the magnified image's top-left corner lies in the window.
CanvasPoint ImageOrigin(const CanvasView& view);

// Holds the pan so that the magnified image always covers the window's
// image-sized area: within [W/2 - zW/2, zW/2 - W/2] (each half truncated),
// likewise for y.
void ClampPan(CanvasView& view);

// One zoom step in or out (out: the left Alt key). Stepping below 1 leaves 1
// and puts pan and anchor back to (0, 0); above 5 leaves 5; then the pan is
// clamped.
void StepZoom(CanvasView& view, bool out);

// A pan drag moved to `position`: the pan follows the mouse from the anchor.
void DragPan(CanvasView& view, CanvasPoint position);

// The plus-shaped brush (the centre and its four orthogonal neighbours),
// replacing the pixels that lie inside the layer.
void StampBrush(Layer& layer, int32_t x, int32_t y, uint32_t value);

// The stepping of a segment that is neither vertical nor horizontal: a stamp
// at every step from (x0, y0) on, the end point left out, nothing clamped.
void StepSegment(Layer& layer, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t value);

// A segment in image coordinates into the current layer in the line colour;
// nothing while the base layer is current. Vertical and horizontal segments
// are clamped into the image and stamped at both ends; others are stepped
// without clamping and leave the end point to the next segment.
void DrawSegment(int32_t x0, int32_t y0, int32_t x1, int32_t y1);

}  // namespace vnscope
