// Opening the canvas model the way the canvas window does, over a screenshot
// of the test's making, and reading its pixels back as bytes.
#pragma once
#include <cstdint>
#include <vector>

#include "canvas/layer_stack.h"

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

// The creation sequence of the canvas window's model.
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

}  // namespace vnscope::test
