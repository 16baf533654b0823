// The compositing rule, run over the whole stack or only where layers changed.
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "canvas/canvas_model.h"
#include "canvas/layer_stack.h"

namespace vnscope {
namespace {

using pixel_set::ForEachPixelNear;
using pixel_set::ForEachWordNear;
using pixel_set::kBitsPerWord;
using pixel_set::NearWord;
using pixel_set::PixelSet;

// Sources of the rim for a composite pixel p, in the order the nine rim
// offsets (dx, dy) are applied: offset d darkens p from the layer pixel p - d.
constexpr int32_t kRimSources[9][2] = {{1, 1},  {0, 1},  {-1, 1}, {1, 0}, {0, 0},
                                       {-1, 0}, {1, -1}, {0, -1}, {-1, -1}};

// The colour bytes (0x00RRGGBB) a composite pixel whose colour is `below`
// takes from one layer: the nine rim steps, then the blend. Each rim step is
// c - floor(c a / 255) (0 at a = 255); the blend is c + trunc((s - c) a / 255)
// (s at a = 255).
[[gnu::always_inline]] inline uint32_t LayerOver(const Layer& layer, uint32_t below, int32_t x, int32_t y) {
  const int32_t width = layer.width, height = layer.height;
  const uint32_t pixel = layer.pixels[static_cast<size_t>(y) * width + x];
  const int32_t a = pixel >> 24;
  // An opaque pixel replaces whatever its rim left.
  if (a == 255) return pixel & 0x00FFFFFFu;
  int32_t b = below & 0xFF, g = (below >> 8) & 0xFF, r = (below >> 16) & 0xFF;
  const bool inside = x > 0 && y > 0 && x + 1 < width && y + 1 < height;
  for (const auto& source : kRimSources) {
    const int32_t sx = x + source[0], sy = y + source[1];
    if (!inside && (sx < 0 || sy < 0 || sx >= width || sy >= height)) continue;
    const int32_t rim = layer.pixels[static_cast<size_t>(sy) * width + sx] >> 24;
    if (rim == 0) continue;
    if (rim == 255) {
      // Black now, and every further rim step keeps it black.
      b = g = r = 0;
      break;
    }
    b -= b * rim / 255;
    g -= g * rim / 255;
    r -= r * rim / 255;
  }
  if (a != 0) {
    b += (static_cast<int32_t>(pixel & 0xFF) - b) * a / 255;
    g += (static_cast<int32_t>((pixel >> 8) & 0xFF) - g) * a / 255;
    r += (static_cast<int32_t>((pixel >> 16) & 0xFF) - r) * a / 255;
  }
  return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | static_cast<uint32_t>(b);
}

// The colour bytes of `source` into `composite`, alpha kept, for the pixels
// of a word whose bits are set, a run of neighbours at a time. When every
// composite alpha is 0 the composite need not be read.
void CopyColours(uint32_t* composite, const uint32_t* source, uint64_t bits, bool alphaZero) {
  while (bits != 0) {
    const int start = __builtin_ctzll(bits);
    const uint64_t from = bits >> start;
    const int length = ~from == 0 ? kBitsPerWord - start : __builtin_ctzll(~from);
    if (alphaZero) {
      for (int i = start; i < start + length; ++i) composite[i] = source[i] & 0x00FFFFFFu;
    } else {
      for (int i = start; i < start + length; ++i)
        composite[i] = (composite[i] & 0xFF000000u) | (source[i] & 0x00FFFFFFu);
    }
    bits &= length == kBitsPerWord ? 0 : ~(((uint64_t{1} << length) - 1) << start);
  }
}

// A layer with pixels near the word being rebuilt, and which.
struct LayerNearWord {
  const Layer* layer;
  uint64_t near;
};

}  // namespace

bool CompositeLayer(const Layer& layer) {
  Layer& composite = Model().composite;
  if (!SameSizeAsComposite(layer)) return false;
  uint32_t* out = composite.pixels.data();
  if (layer.opaque) {
    // Every pixel is opaque, so the blend overwrites whatever the rim did.
    const uint32_t* in = layer.pixels.data();
    const size_t count = composite.pixels.size();
    if (Model().compositeAlphaZero) {
      for (size_t i = 0; i < count; ++i) out[i] = in[i] & 0x00FFFFFFu;
    } else {
      for (size_t i = 0; i < count; ++i) out[i] = (out[i] & 0xFF000000u) | (in[i] & 0x00FFFFFFu);
    }
    return true;
  }
  const int32_t width = layer.width;
  ForEachPixelNear(CoverageOf(layer), layer.width, layer.height, [&](int32_t x, int32_t y) {
    uint32_t& pixel = out[static_cast<size_t>(y) * width + x];
    pixel = (pixel & 0xFF000000u) | LayerOver(layer, pixel, x, y);
  });
  return true;
}

bool Recomposite() {
  CanvasModel& model = Model();
  ForgetChanges();
  model.needsFullRun = false;
  for (const auto& layer : model.stack)
    if (!CompositeLayer(*layer)) return false;
  return true;
}

bool CompositeChanges() {
  CanvasModel& model = Model();
  if (model.needsFullRun || model.stack.empty() || !model.stack.front()->opaque || model.changed.empty())
    return Recomposite();
  for (const auto& layer : model.stack)
    if (!SameSizeAsComposite(*layer)) return Recomposite();
  static thread_local std::vector<LayerNearWord> nearby;
  try {
    nearby.reserve(model.stack.size());
  } catch (const std::bad_alloc&) {
    return Recomposite();
  }
  Layer& composite = model.composite;
  const int32_t width = composite.width, height = composite.height;
  uint32_t* out = composite.pixels.data();
  const uint32_t* base = model.stack.front()->pixels.data();
  const bool alphaZero = model.compositeAlphaZero;
  const PixelSet changed{model.changed.data(), ChangedWords(), model.changedTop, model.changedBottom};
  // Over an opaque base a pixel's composite depends only on the layers around
  // it, so it is rebuilt from the base up. An opaque layer pixel hides
  // everything under it, its own rim included, so the rebuild starts at the
  // topmost one; where no layer above comes near, that is a plain copy.
  ForEachWordNear(changed, width, height, [&](int32_t y, int32_t w, uint64_t pixels) {
    nearby.clear();
    for (size_t n = 1; n < model.stack.size(); ++n) {
      const Layer& layer = *model.stack[n];
      const uint64_t near = NearWord(CoverageOf(layer), height, y, w) & pixels;
      if (near != 0) nearby.push_back({&layer, near});
    }
    const auto count = static_cast<int32_t>(nearby.size());
    const size_t first = static_cast<size_t>(y) * width + static_cast<size_t>(w) * kBitsPerWord;
    const size_t word = static_cast<size_t>(y) * ChangedWords() + w;
    // Composites pixel `bit` of the word from `colour` up through the
    // layers from `from` on.
    auto blendFrom = [&](int32_t from, int bit, uint32_t colour) {
      const uint64_t mask = uint64_t{1} << bit;
      for (int32_t n = from; n < count; ++n)
        if ((nearby[n].near & mask) != 0) colour = LayerOver(*nearby[n].layer, colour, w * kBitsPerWord + bit, y);
      out[first + bit] = (out[first + bit] & 0xFF000000u) | colour;
    };
    uint64_t remaining = pixels, above = 0;
    for (int32_t s = count - 1; s >= 0 && remaining != 0; --s) {
      const Layer& layer = *nearby[s].layer;
      const uint64_t hidden = nearby[s].near & remaining & layer.opaquePixels[word];
      if (hidden != 0) {
        CopyColours(out + first, layer.pixels.data() + first, hidden & ~above, alphaZero);
        for (uint64_t bits = hidden & above; bits != 0; bits &= bits - 1) {
          const int bit = __builtin_ctzll(bits);
          blendFrom(s + 1, bit, layer.pixels[first + bit] & 0x00FFFFFFu);
        }
        remaining &= ~hidden;
      }
      above |= nearby[s].near;
    }
    CopyColours(out + first, base + first, remaining & ~above, alphaZero);
    for (uint64_t bits = remaining & above; bits != 0; bits &= bits - 1) {
      const int bit = __builtin_ctzll(bits);
      blendFrom(0, bit, base[first + bit] & 0x00FFFFFFu);
    }
  });
  ForgetChanges();
  return true;
}

}  // namespace vnscope
