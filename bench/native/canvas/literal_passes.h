// The compositing rule carried out literally, as the reference the fast
// compositing is measured and checked against: per layer, nine rim passes
// over the whole image (one per offset, in order) and one blend pass, on the
// B, G, R bytes, with no cached state. The composite is not cleared first.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vnscope::literal {

// A plane of width x height pixels, 4 bytes each (B, G, R, A).
struct Plane {
  int32_t width = 0;
  int32_t height = 0;
  const uint8_t* bytes = nullptr;
};

// False, changing nothing, when the plane's size differs from the composite's.
inline bool CompositeLayer(const Plane& layer, uint8_t* composite, int32_t width, int32_t height) {
  if (layer.width != width || layer.height != height) return false;
  for (int32_t dy = -1; dy <= 1; ++dy)
    for (int32_t dx = -1; dx <= 1; ++dx)
      for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
          const int32_t tx = x + dx, ty = y + dy;
          if (tx < 0 || ty < 0 || tx >= width || ty >= height) continue;
          const int32_t a = layer.bytes[(static_cast<size_t>(y) * width + x) * 4 + 3];
          uint8_t* c = composite + (static_cast<size_t>(ty) * width + tx) * 4;
          for (int channel = 0; channel < 3; ++channel) {
            if (a == 255) c[channel] = 0;
            else if (a > 0) c[channel] = static_cast<uint8_t>(c[channel] - c[channel] * a / 255);
          }
        }
  for (size_t i = 0, count = static_cast<size_t>(width) * height; i < count; ++i) {
    const uint8_t* s = layer.bytes + i * 4;
    uint8_t* c = composite + i * 4;
    const int32_t a = s[3];
    for (int channel = 0; channel < 3; ++channel) {
      if (a == 255) c[channel] = s[channel];
      else if (a > 0) c[channel] = static_cast<uint8_t>(c[channel] + (s[channel] - c[channel]) * a / 255);
    }
  }
  return true;
}

// Every plane from the base upward; stops with false at the first that fails.
inline bool Recomposite(const std::vector<Plane>& stack, uint8_t* composite, int32_t width, int32_t height) {
  for (const Plane& layer : stack)
    if (!CompositeLayer(layer, composite, width, height)) return false;
  return true;
}

}  // namespace vnscope::literal
