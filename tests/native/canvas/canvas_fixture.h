// Opening the canvas model the way the canvas window does, over a screenshot
// of the test's making, and reading its pixels back as bytes; glyphs and the
// brush's pixels worked out by hand for the tests to expect.
#pragma once
#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "canvas/edit_history.h"
#include "canvas/layer_stack.h"
#include "canvas/text_layer.h"

namespace vnscope::test {

// Width x height pixels of one B, G, R, A colour.
inline std::vector<uint8_t> SolidScreenshot(int32_t width, int32_t height, uint8_t b, uint8_t g, uint8_t r,
                                            uint8_t a) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  for (size_t i = 0; i < pixels.size(); i += 4) {
    pixels[i] = b;
    pixels[i + 1] = g;
    pixels[i + 2] = r;
    pixels[i + 3] = a;
  }
  return pixels;
}

// The creation sequence of the canvas window's model (which starts an empty
// edit history).
inline void OpenCanvas(int32_t width, int32_t height, const uint8_t* screenshot) {
  InitLayer(CompositeImage(), width, height, nullptr);
  ResetLayers(width, height, screenshot);
  AddLayer();
  Recomposite();
}

struct Bgra {
  uint8_t b, g, r, a;
  bool operator==(const Bgra&) const = default;
};

inline Bgra CompositeAt(int32_t x, int32_t y) {
  const Layer& composite = CompositeImage();
  const uint32_t value = composite.pixels[static_cast<size_t>(y) * composite.width + x];
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
          static_cast<uint8_t>(value >> 24)};
}

// Glyphs of the test's making: every character a 2 x 2 black box of level
// 64 with its origin at (1, 2) and an advance of 5; a space is empty; '!'
// cannot be had. Rows are padded to 4 bytes as the system pads them.
class FakeGlyphs final : public GlyphSource {
 public:
  bool Glyph(char16_t character, GlyphImage* glyph) override {
    asked.push_back(character);
    if (character == u'!') return false;
    glyph->originX = 1;
    glyph->originY = 2;
    glyph->cellIncX = 5;
    if (character == u' ') {
      glyph->size = 0;
      glyph->levels = nullptr;
      return true;
    }
    glyph->blackBoxX = 2;
    glyph->blackBoxY = 2;
    glyph->levels = kBox;
    glyph->size = sizeof(kBox);
    return true;
  }
  int32_t LineHeight() override { return 10; }
  int32_t Ascent() override { return 8; }

  std::u16string asked;

 private:
  static constexpr uint8_t kBox[8] = {64, 64, 0, 0, 64, 64, 0, 0};
};

using Pixels = std::set<std::pair<int32_t, int32_t>>;
using Points = std::vector<std::pair<int32_t, int32_t>>;

// The positions of a layer's non-transparent pixels.
inline Pixels CoveredPixels(const Layer& layer) {
  Pixels covered;
  for (int32_t y = 0; y < layer.height; ++y)
    for (int32_t x = 0; x < layer.width; ++x)
      if (layer.pixels[static_cast<size_t>(y) * layer.width + x] != 0) covered.insert({x, y});
  return covered;
}

// The pixels the plus-shaped brush covers when stamped at each centre, within
// a width x height image.
inline Pixels Stamps(const Points& centres, int32_t width, int32_t height) {
  Pixels covered;
  for (const auto& [x, y] : centres)
    for (const auto& [dx, dy] : {std::pair{0, -1}, {-1, 0}, {0, 0}, {1, 0}, {0, 1}})
      if (x + dx >= 0 && y + dy >= 0 && x + dx < width && y + dy < height) covered.insert({x + dx, y + dy});
  return covered;
}

// Every point of a rectangle's boundary, corners included.
inline Points Boundary(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  Points points;
  for (int32_t x = std::min(x0, x1); x <= std::max(x0, x1); ++x) points.insert(points.end(), {{x, y0}, {x, y1}});
  for (int32_t y = std::min(y0, y1); y <= std::max(y0, y1); ++y) points.insert(points.end(), {{x0, y}, {x1, y}});
  return points;
}

// The points from (x0, y) to (x1, y), both ends.
inline Points Row(int32_t x0, int32_t x1, int32_t y) {
  Points points;
  for (int32_t x = std::min(x0, x1); x <= std::max(x0, x1); ++x) points.push_back({x, y});
  return points;
}

// A head stroke of an arrow pointing right, stepped by hand: from the tip to
// 14 left and 8 down, each step one to the left, a step down whenever the
// accumulated 8s reach 14; the end point is left out.
inline constexpr int32_t kHeadDown[14][2] = {{0, 0},  {-1, 0}, {-2, 1}, {-3, 1},   {-4, 2},   {-5, 2},   {-6, 3},
                                             {-7, 4}, {-8, 4}, {-9, 5}, {-10, 5}, {-11, 6}, {-12, 6}, {-13, 7}};

// The head of an arrow pointing right with its tip at (x, y): the stroke
// above mirrors the one below.
inline Points RightwardHead(int32_t x, int32_t y) {
  Points points;
  for (const auto& step : kHeadDown) points.insert(points.end(), {{x + step[0], y + step[1]}, {x + step[0], y - step[1]}});
  return points;
}

// `a` followed by `b`.
inline Points Joined(Points a, const Points& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace vnscope::test
