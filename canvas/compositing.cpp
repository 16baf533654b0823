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
using pixel_set::ForEachRowNear;
using pixel_set::kBitsPerWord;
using pixel_set::NearRow;
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

// The colour bytes pixel x of row y (bit x % 64 of coverage word `word`) takes
// from a layer with an opaque pixel in its 3 x 3 neighbourhood: that rim step
// leaves black whatever lay below, so only the pixel's own value counts, the
// blend over black being s a / 255. A pixel the layer does not cover is
// transparent and not even read: around a large opaque area (a mosaic) those
// reads would each be a cache miss.
[[gnu::always_inline]] inline uint32_t OverBlack(const Layer& layer, size_t word, int32_t x, int32_t y) {
  if (((layer.coverage[word] >> (x % kBitsPerWord)) & 1) == 0) return 0;
  const uint32_t pixel = layer.pixels[static_cast<size_t>(y) * layer.width + x];
  const uint32_t a = pixel >> 24;
  if (a == 255) return pixel & 0x00FFFFFFu;
  auto channel = [&](int shift) { return ((pixel >> shift) & 0xFFu) * a / 255 << shift; };
  return channel(16) | channel(8) | channel(0);
}

// The colour bytes of `source` into `composite`, alpha kept, for the pixels
// of a word whose bits are set, a run of neighbours at a time. When every
// composite alpha is 0 the composite need not be read.
void CopyColours(uint32_t* composite, const uint32_t* source, uint64_t bits, bool alphaZero) {
  if (bits == ~uint64_t{0} && alphaZero) {
    for (int i = 0; i < kBitsPerWord; ++i) composite[i] = source[i] & 0x00FFFFFFu;
    return;
  }
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

// A layer with pixels near the word being rebuilt: the pixels of the word
// near any of its covered pixels, and those near an opaque one.
struct LayerNearWord {
  const Layer* layer;
  uint64_t near;
  uint64_t nearOpaque;
};

// Rebuilds the composite's pixels of word w of row y that `pixels` holds,
// `nearby` being the layers that come near them, bottom up.
void RebuildWord(uint32_t* out, const uint32_t* base, const std::vector<LayerNearWord>& nearby, int32_t width,
                 int32_t words, int32_t y, int32_t w, uint64_t pixels, bool alphaZero) {
  const auto count = static_cast<int32_t>(nearby.size());
  const size_t first = static_cast<size_t>(y) * width + static_cast<size_t>(w) * kBitsPerWord;
  const size_t word = static_cast<size_t>(y) * words + w;
  // Composites pixel `bit` of the word from `colour` up through the layers
  // from `from` on.
  auto blendFrom = [&](int32_t from, int bit, uint32_t colour) {
    const uint64_t mask = uint64_t{1} << bit;
    for (int32_t n = from; n < count; ++n)
      if ((nearby[n].near & mask) != 0) colour = LayerOver(*nearby[n].layer, colour, w * kBitsPerWord + bit, y);
    // Not read when the alpha is known: around a large area each read
    // would be a cache miss that stalls the rebuild.
    out[first + bit] = alphaZero ? colour : (out[first + bit] & 0xFF000000u) | colour;
  };
  uint64_t remaining = pixels, above = 0;
  for (int32_t s = count - 1; s >= 0 && remaining != 0; --s) {
    const Layer& layer = *nearby[s].layer;
    const uint64_t hidden = nearby[s].nearOpaque & remaining;
    if (hidden != 0) {
      const uint64_t copied = hidden & layer.opaquePixels[word] & ~above;
      CopyColours(out + first, layer.pixels.data() + first, copied, alphaZero);
      for (uint64_t bits = hidden & ~copied; bits != 0; bits &= bits - 1) {
        const int bit = __builtin_ctzll(bits);
        blendFrom(s + 1, bit, OverBlack(layer, word, w * kBitsPerWord + bit, y));
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
}

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
  const auto words = static_cast<size_t>(ChangedWords());
  // Per row, each annotation layer's pixels near a covered and near an
  // opaque pixel of its own, word by word; then per word, the layers that
  // come near it.
  static thread_local std::vector<uint64_t> rowNear;
  static thread_local std::vector<const Layer*> rowLayers;
  static thread_local std::vector<LayerNearWord> nearby;
  try {
    rowNear.resize(model.stack.size() * words * 2);
    rowLayers.reserve(model.stack.size());
    nearby.reserve(model.stack.size());
  } catch (const std::bad_alloc&) {
    return Recomposite();
  }
  Layer& composite = model.composite;
  const int32_t width = composite.width;
  uint32_t* out = composite.pixels.data();
  const uint32_t* base = model.stack.front()->pixels.data();
  const bool alphaZero = model.compositeAlphaZero;
  // Over an opaque base a pixel's composite depends only on the layers around
  // it, so it is rebuilt from the base up. A layer with an opaque pixel in the
  // 3 x 3 neighbourhood hides everything under it: either the pixel is its
  // own and replaces the colour, or the rim turns the colour black before the
  // layer's own pixel is blended in. The rebuild starts at the topmost such
  // layer, and where it is the pixel's own and no layer above comes near, it
  // is a plain copy.
  ForEachRowNear(ChangedPixels(), width, composite.height,
                 [&](int32_t y, const uint64_t* changed, int32_t firstWord, int32_t lastWord) {
    // Stretches of words with changes, so that a thin stroke looks at its own
    // words only.
    for (int32_t from = firstWord; from <= lastWord;) {
      if (changed[from] == 0) {
        ++from;
        continue;
      }
      int32_t to = from;
      while (to < lastWord && changed[to + 1] != 0) ++to;
      rowLayers.clear();
      for (size_t n = 1; n < model.stack.size(); ++n) {
        const Layer& layer = *model.stack[n];
        if (y < layer.coveredTop - 1 || y > layer.coveredBottom + 1) continue;
        uint64_t* near = rowNear.data() + rowLayers.size() * words * 2;
        NearRow(CoverageOf(layer), y, from, to, near);
        uint64_t any = 0;
        for (int32_t w = from; w <= to; ++w) any |= near[w] & changed[w];
        if (any == 0) continue;
        const PixelSet opaque{const_cast<uint64_t*>(layer.opaquePixels.data()), layer.coverageWords,
                              layer.coveredTop, layer.coveredBottom};
        NearRow(opaque, y, from, to, near + words);
        rowLayers.push_back(&layer);
      }
      for (int32_t w = from; w <= to; ++w) {
        const uint64_t pixels = changed[w];
        nearby.clear();
        for (size_t k = 0; k < rowLayers.size(); ++k) {
          const uint64_t* near = rowNear.data() + k * words * 2;
          if ((near[w] & pixels) != 0) nearby.push_back({rowLayers[k], near[w] & pixels, near[words + w] & pixels});
        }
        RebuildWord(out, base, nearby, width, static_cast<int32_t>(words), y, w, pixels, alphaZero);
      }
      from = to + 1;
    }
  });
  ForgetChanges();
  return true;
}

}  // namespace vnscope
