#include "canvas/layer_stack.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace vnscope {
namespace {

constexpr int32_t kBitsPerWord = 64;

// A set of pixels of one image size: one bit per pixel, rows of `words`
// words, with the rows that hold bits bounded by [top, bottom].
struct PixelSet {
  uint64_t* bits;
  int32_t words;
  int32_t top;
  int32_t bottom;
};

int32_t WordsPerRow(int32_t width) { return (width + kBitsPerWord - 1) / kBitsPerWord; }

void AddToSet(uint64_t* bits, int32_t words, int32_t& top, int32_t& bottom, int32_t x, int32_t y) {
  bits[static_cast<size_t>(y) * words + x / kBitsPerWord] |= uint64_t{1} << (x % kBitsPerWord);
  if (top > bottom) {
    top = bottom = y;
  } else {
    top = std::min(top, y);
    bottom = std::max(bottom, y);
  }
}

bool InSet(const uint64_t* bits, int32_t words, int32_t x, int32_t y) {
  return (bits[static_cast<size_t>(y) * words + x / kBitsPerWord] >> (x % kBitsPerWord)) & 1;
}

// Whether any pixel of the 3 x 3 neighbourhood of (x, y) is in the set.
bool SetHasNear(const PixelSet& set, int32_t width, int32_t height, int32_t x, int32_t y) {
  if (y < set.top - 1 || y > set.bottom + 1) return false;
  const int32_t x0 = std::max(x - 1, 0), x1 = std::min(x + 1, width - 1);
  for (int32_t row = std::max(y - 1, 0); row <= std::min(y + 1, height - 1); ++row)
    for (int32_t column = x0; column <= x1; ++column)
      if (InSet(set.bits, set.words, column, row)) return true;
  return false;
}

// Calls visit(x, y) once for every pixel within one pixel (the 3 x 3
// neighbourhood) of a pixel of the set, row by row.
template <typename Visit>
void ForEachPixelNear(const PixelSet& set, int32_t width, int32_t height, Visit visit) {
  if (set.top > set.bottom || width <= 0) return;
  static thread_local std::vector<uint64_t> near;
  near.assign(set.words, 0);
  const uint64_t lastWordMask =
      width % kBitsPerWord == 0 ? ~uint64_t{0} : (uint64_t{1} << (width % kBitsPerWord)) - 1;
  for (int32_t y = std::max(set.top - 1, 0); y <= std::min(set.bottom + 1, height - 1); ++y) {
    const uint64_t* row = set.bits + static_cast<size_t>(y) * set.words;
    const uint64_t* above = y > 0 ? row - set.words : nullptr;
    const uint64_t* below = y + 1 < height ? row + set.words : nullptr;
    bool any = false;
    for (int32_t w = 0; w < set.words; ++w) {
      near[w] = row[w] | (above ? above[w] : 0) | (below ? below[w] : 0);
      any |= near[w] != 0;
    }
    if (!any) continue;
    for (int32_t w = 0; w < set.words; ++w) {
      const uint64_t previous = w > 0 ? near[w - 1] : 0;
      const uint64_t next = w + 1 < set.words ? near[w + 1] : 0;
      uint64_t spread = near[w] | (near[w] << 1) | (near[w] >> 1) | (previous >> 63) | (next << 63);
      if (w + 1 == set.words) spread &= lastWordMask;
      while (spread != 0) {
        const int bit = __builtin_ctzll(spread);
        spread &= spread - 1;
        visit(w * kBitsPerWord + bit, y);
      }
    }
  }
}

// Sources of the rim for a composite pixel p, in the order the nine rim
// offsets (dx, dy) are applied: offset d darkens p from the layer pixel p - d.
constexpr int32_t kRimSources[9][2] = {{1, 1},  {0, 1},  {-1, 1}, {1, 0}, {0, 0},
                                       {-1, 0}, {1, -1}, {0, -1}, {-1, -1}};

// The effect of one layer on one composite pixel: the nine rim steps, then
// the blend. Each rim step is c - floor(c a / 255) (0 at a = 255); the blend
// is c + trunc((s - c) a / 255) (s at a = 255). The alpha byte is kept.
[[gnu::always_inline]] inline void ApplyLayerAt(const Layer& layer, uint32_t* composite, int32_t x, int32_t y) {
  const int32_t width = layer.width, height = layer.height;
  const size_t index = static_cast<size_t>(y) * width + x;
  const uint32_t before = composite[index];
  const uint32_t pixel = layer.pixels[index];
  const int32_t a = pixel >> 24;
  if (a == 255) {
    // An opaque pixel replaces whatever its rim left.
    composite[index] = (before & 0xFF000000u) | (pixel & 0x00FFFFFFu);
    return;
  }
  int32_t b = before & 0xFF, g = (before >> 8) & 0xFF, r = (before >> 16) & 0xFF;
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
  composite[index] = (before & 0xFF000000u) | (static_cast<uint32_t>(r) << 16) |
                     (static_cast<uint32_t>(g) << 8) | static_cast<uint32_t>(b);
}

PixelSet CoverageOf(const Layer& layer) {
  return PixelSet{const_cast<uint64_t*>(layer.coverage.data()), layer.coverageWords,
                  layer.coveredTop, layer.coveredBottom};
}

struct CanvasModel {
  std::vector<std::unique_ptr<Layer>> stack;
  int32_t currentIndex = 0;
  Layer composite;
  // Pixels of any layer changed since the last compositing, in the
  // composite's size.
  std::vector<uint64_t> changed;
  int32_t changedTop = 0;
  int32_t changedBottom = -1;
  // The composite was re-initialised or the stack reset: only a full run
  // makes it right again.
  bool needsFullRun = true;
  // Compositing never writes the composite's alpha bytes; when they all
  // started as 0, an opaque layer is copied without reading them.
  bool compositeAlphaZero = false;
  // What ClearLayerForRedraw took away: (pixel index, value).
  std::vector<std::pair<size_t, uint32_t>> cleared;
  Layer* textTarget = nullptr;
  uint32_t lineColour = 0x000000FF;
  bool snapshotEdited = false;
};

CanvasModel& Model() {
  static CanvasModel model;
  return model;
}

int32_t ChangedWords() { return WordsPerRow(Model().composite.width); }

bool SameSizeAsComposite(const Layer& layer) {
  const Layer& composite = Model().composite;
  return layer.width == composite.width && layer.height == composite.height;
}

void MarkChanged(const Layer& layer, int32_t x, int32_t y) {
  CanvasModel& model = Model();
  if (!SameSizeAsComposite(layer) || model.changed.empty()) return;
  AddToSet(model.changed.data(), ChangedWords(), model.changedTop, model.changedBottom, x, y);
}

void ForgetChanges() {
  CanvasModel& model = Model();
  if (model.changedTop <= model.changedBottom) {
    const size_t words = ChangedWords();
    std::fill(model.changed.begin() + model.changedTop * words,
              model.changed.begin() + (model.changedBottom + 1) * words, 0);
  }
  model.changedTop = 0;
  model.changedBottom = -1;
}

// Marks every pixel the layer covers as changed (the layer is going away).
void MarkCoverageChanged(const Layer& layer) {
  if (!SameSizeAsComposite(layer) || layer.coveredTop > layer.coveredBottom) return;
  for (int32_t y = layer.coveredTop; y <= layer.coveredBottom; ++y)
    for (int32_t w = 0; w < layer.coverageWords; ++w) {
      uint64_t bits = layer.coverage[static_cast<size_t>(y) * layer.coverageWords + w];
      while (bits != 0) {
        MarkChanged(layer, w * kBitsPerWord + __builtin_ctzll(bits), y);
        bits &= bits - 1;
      }
    }
}

void MakeCurrent(int32_t index) { Model().currentIndex = index; }

}  // namespace

bool InitLayer(Layer& layer, int32_t width, int32_t height, const uint8_t* source) {
  CanvasModel& model = Model();
  const bool isComposite = &layer == &model.composite;
  layer.coveredTop = 0;
  layer.coveredBottom = -1;
  bool ok = width >= 0 && height >= 0;
  if (ok) {
    try {
      const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
      // Past the vector's own limit (half the address space of a 32-bit
      // process: a 65535 x 8193 screenshot) assign would throw length_error.
      if ((height != 0 && count / static_cast<size_t>(height) != static_cast<size_t>(width)) ||
          count > layer.pixels.max_size())
        throw std::bad_alloc();
      layer.pixels.assign(count, 0);
      layer.coverageWords = WordsPerRow(width);
      layer.coverage.assign(static_cast<size_t>(layer.coverageWords) * height, 0);
      if (isComposite) model.changed.assign(layer.coverage.size(), 0);
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  if (!ok) {
    width = height = 0;
    layer.pixels.clear();
    layer.coverage.clear();
    layer.coverageWords = 0;
    if (isComposite) model.changed.clear();
  }
  layer.width = width;
  layer.height = height;
  layer.opaque = false;
  if (ok && source != nullptr) {
    std::memcpy(layer.pixels.data(), source, layer.pixels.size() * sizeof(uint32_t));
    bool opaque = true;
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t alpha = layer.pixels[static_cast<size_t>(y) * width + x] >> 24;
        if (alpha != 0)
          AddToSet(layer.coverage.data(), layer.coverageWords, layer.coveredTop, layer.coveredBottom, x, y);
        opaque &= alpha == 255;
      }
    layer.opaque = opaque;
  }
  if (isComposite) {
    model.compositeAlphaZero = source == nullptr;
    model.changedTop = 0;
    model.changedBottom = -1;
    model.needsFullRun = true;
  }
  return ok;
}

void SetLayerPixel(Layer& layer, int32_t x, int32_t y, uint32_t value) {
  if (x < 0 || y < 0 || x >= layer.width || y >= layer.height) return;
  uint32_t& pixel = layer.pixels[static_cast<size_t>(y) * layer.width + x];
  if (pixel == value) return;
  pixel = value;
  if ((value >> 24) != 0)
    AddToSet(layer.coverage.data(), layer.coverageWords, layer.coveredTop, layer.coveredBottom, x, y);
  if ((value >> 24) != 255) layer.opaque = false;
  MarkChanged(layer, x, y);
}

void ClearLayerForRedraw(Layer& layer) {
  CanvasModel& model = Model();
  model.cleared.clear();
  if (layer.coveredTop > layer.coveredBottom) return;
  const bool tracked = SameSizeAsComposite(layer) && !model.changed.empty();
  for (int32_t y = layer.coveredTop; y <= layer.coveredBottom; ++y)
    for (int32_t w = 0; w < layer.coverageWords; ++w) {
      uint64_t& word = layer.coverage[static_cast<size_t>(y) * layer.coverageWords + w];
      for (uint64_t bits = word; bits != 0; bits &= bits - 1) {
        const int32_t x = w * kBitsPerWord + __builtin_ctzll(bits);
        const size_t index = static_cast<size_t>(y) * layer.width + x;
        if (layer.pixels[index] == 0) continue;
        // A pixel already changed before this redraw stays changed whatever
        // the redraw leaves in it.
        if (tracked && !InSet(model.changed.data(), ChangedWords(), x, y))
          model.cleared.emplace_back(index, layer.pixels[index]);
        layer.pixels[index] = 0;
        MarkChanged(layer, x, y);
      }
      word = 0;
    }
  layer.coveredTop = 0;
  layer.coveredBottom = -1;
  layer.opaque = false;
}

void FinishLayerRedraw(Layer& layer) {
  CanvasModel& model = Model();
  if (SameSizeAsComposite(layer) && !model.changed.empty()) {
    const int32_t words = ChangedWords();
    for (const auto& [index, value] : model.cleared) {
      if (layer.pixels[index] != value) continue;
      const int32_t x = static_cast<int32_t>(index % layer.width);
      const int32_t y = static_cast<int32_t>(index / layer.width);
      model.changed[static_cast<size_t>(y) * words + x / kBitsPerWord] &=
          ~(uint64_t{1} << (x % kBitsPerWord));
    }
  }
  model.cleared.clear();
}

Layer& CompositeImage() { return Model().composite; }

int32_t LayerCount() { return static_cast<int32_t>(Model().stack.size()); }

Layer* LayerAt(int32_t index) {
  auto& stack = Model().stack;
  return index >= 0 && index < LayerCount() ? stack[index].get() : nullptr;
}

int32_t CurrentLayerIndex() { return Model().currentIndex; }

Layer* CurrentLayer() { return LayerAt(Model().currentIndex); }

bool ResetLayers(int32_t width, int32_t height, const uint8_t* source) {
  CanvasModel& model = Model();
  model.textTarget = nullptr;
  try {
    while (model.stack.size() > 1) model.stack.pop_back();
    if (model.stack.empty()) model.stack.push_back(std::make_unique<Layer>());
  } catch (const std::bad_alloc&) {
    return false;
  }
  MakeCurrent(0);
  model.needsFullRun = true;
  return InitLayer(*model.stack[0], width, height, source);
}

bool AddLayer() {
  CanvasModel& model = Model();
  Layer* added = nullptr;
  try {
    model.stack.push_back(std::make_unique<Layer>());
    added = model.stack.back().get();
  } catch (const std::bad_alloc&) {
    return false;
  }
  MakeCurrent(LayerCount() - 1);
  const Layer* base = model.stack.front().get();
  return InitLayer(*added, base->width, base->height, nullptr);
}

void SelectLayer(int32_t n) {
  if (n <= 0) return;
  MakeCurrent(std::min(n, LayerCount() - 1));
}

void DeleteLayer(int32_t n) {
  CanvasModel& model = Model();
  if (n < 1 || n >= LayerCount()) return;
  Layer* removed = model.stack[n].get();
  MarkCoverageChanged(*removed);
  if (model.textTarget == removed) model.textTarget = nullptr;
  model.stack.erase(model.stack.begin() + n);
  MakeCurrent(n < LayerCount() ? n : n - 1);
}

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
  ForEachPixelNear(CoverageOf(layer), layer.width, layer.height,
                   [&](int32_t x, int32_t y) { ApplyLayerAt(layer, out, x, y); });
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
  if (model.needsFullRun || model.stack.empty() || !model.stack.front()->opaque ||
      model.changed.empty())
    return Recomposite();
  for (const auto& layer : model.stack)
    if (!SameSizeAsComposite(*layer)) return Recomposite();
  Layer& composite = model.composite;
  const int32_t width = composite.width, height = composite.height;
  uint32_t* out = composite.pixels.data();
  const uint32_t* base = model.stack.front()->pixels.data();
  const PixelSet changed{model.changed.data(), ChangedWords(), model.changedTop, model.changedBottom};
  ForEachPixelNear(changed, width, height, [&](int32_t x, int32_t y) {
    // Over an opaque base a pixel's composite depends only on the layers
    // around it, so it is rebuilt from the base up.
    const size_t index = static_cast<size_t>(y) * width + x;
    out[index] = (out[index] & 0xFF000000u) | (base[index] & 0x00FFFFFFu);
    for (size_t n = 1; n < model.stack.size(); ++n) {
      const Layer& layer = *model.stack[n];
      if (SetHasNear(CoverageOf(layer), width, height, x, y)) ApplyLayerAt(layer, out, x, y);
    }
  });
  ForgetChanges();
  return true;
}

void FlattenSnapshot(uint8_t bitsPerPixel, uint16_t width, uint16_t height, uint8_t* destination) {
  const Layer& composite = Model().composite;
  if (destination == nullptr || (bitsPerPixel & ~7) != 32 || width != composite.width ||
      height != composite.height)
    return;
  const size_t count = static_cast<size_t>(width) * height;
  if (count == 0) return;
  std::memcpy(destination, composite.pixels.data(), count * 4);
  for (size_t i = 0; i < count; ++i) destination[i * 4 + 3] = 0xFF;
}

uint32_t LineColour() { return Model().lineColour; }

void SetLineColour(uint32_t colour) { Model().lineColour = colour & 0x00FFFFFFu; }

uint32_t LinePixel() {
  const uint32_t colour = Model().lineColour;
  const uint32_t red = colour & 0xFF, green = (colour >> 8) & 0xFF, blue = (colour >> 16) & 0xFF;
  return 0xFF000000u | (red << 16) | (green << 8) | blue;
}

bool SnapshotEdited() { return Model().snapshotEdited; }

void SetSnapshotEdited(bool edited) { Model().snapshotEdited = edited; }

Layer* TextTarget() { return Model().textTarget; }

void SetTextTarget(Layer* layer) { Model().textTarget = layer; }

}  // namespace vnscope
