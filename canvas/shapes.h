// The rectangle and arrow tools' drawing: outlines of the line tool's brush
// and colour in the current layer, in image coordinates. Platform-free.
#pragma once
#include <cstdint>
#include <utility>

#include "canvas/rasteriser.h"

namespace vnscope {

// An arrow head's two strokes: this long, at this angle either side of the
// shaft.
inline constexpr int32_t kArrowHeadLength = 16;
inline constexpr double kArrowHeadDegrees = 30;

// The outline of the rectangle with opposite corners (x0, y0) and (x1, y1),
// both included, as four sides of brush stamps. Unlike a line's segment, a
// side is clipped, not clamped: one lying outside the image draws only what
// its brush reaches inside. Nothing while the base layer is current.
void DrawRectangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// Where the head's strokes end: kArrowHeadLength pixels from the tip at
// kArrowHeadDegrees either side of the shaft, pointing back along it, each
// coordinate rounded to the nearest pixel (halves away from zero). The tip
// must differ from the tail.
std::pair<CanvasPoint, CanvasPoint> ArrowHeadEnds(CanvasPoint tail, CanvasPoint tip);

// A shaft from (x0, y0) to the tip (x1, y1) and the head's two strokes from
// the tip, stepped as a line's segments are, sides clipped as the
// rectangle's. Nothing when the tip is the tail or while the base layer is
// current.
void DrawArrow(int32_t x0, int32_t y0, int32_t x1, int32_t y1);

}  // namespace vnscope
