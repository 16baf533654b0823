#include "canvas/layer_stack.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "canvas/canvas_model.h"
#include "canvas/edit_history.h"

namespace vnscope {

using pixel_set::AddRunToSet;
using pixel_set::AddToSet;
using pixel_set::InSet;
using pixel_set::kBitsPerWord;
using pixel_set::WordsPerRow;

void ForgetChanges() {
  CanvasModel& model = Model();
  pixel_set::ClearSet(model.changed, ChangedWords(), model.changedTop, model.changedBottom, model.changedFirstWord,
                      model.changedLastWord);
  model.changedFirstWord = std::numeric_limits<int32_t>::max();
  model.changedLastWord = -1;
}

void MakeCurrent(int32_t index) { Model().currentIndex = index; }

namespace {

void MarkChanged(const Layer& layer, int32_t x, int32_t y) {
  CanvasModel& model = Model();
  if (!SameSizeAsComposite(layer) || model.changed.empty()) return;
  AddToSet(model.changed.data(), ChangedWords(), model.changedTop, model.changedBottom, x, y);
  model.changedFirstWord = std::min(model.changedFirstWord, x / kBitsPerWord);
  model.changedLastWord = std::max(model.changedLastWord, x / kBitsPerWord);
}

void MarkRunChanged(const Layer& layer, int32_t x, int32_t y, int32_t count) {
  CanvasModel& model = Model();
  if (!SameSizeAsComposite(layer) || model.changed.empty()) return;
  AddRunToSet(model.changed.data(), ChangedWords(), model.changedTop, model.changedBottom, x, y, count);
  model.changedFirstWord = std::min(model.changedFirstWord, x / kBitsPerWord);
  model.changedLastWord = std::max(model.changedLastWord, (x + count - 1) / kBitsPerWord);
}

// Marks every pixel the layer covers as changed (the layer is going away or
// coming back).
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

uint64_t* RowOf(std::vector<uint64_t>& bits, const Layer& layer, int32_t y) {
  return bits.data() + static_cast<size_t>(y) * layer.coverageWords;
}

// After pixels x to x + count - 1 of row y took new values, `all` and `any`
// being their AND and OR: the coverage, the opaque pixels and the changes
// follow. A run of one kind (a mosaic, an erased stroke) is settled a word at
// a time.
void AfterRunWritten(Layer& layer, int32_t x, int32_t y, const uint32_t* values, int32_t count, uint32_t all,
                     uint32_t any) {
  uint64_t* covered = RowOf(layer.coverage, layer, y);
  uint64_t* opaque = RowOf(layer.opaquePixels, layer, y);
  if ((all >> 24) == 255 || (any >> 24) == 0) {
    const bool hiding = (all >> 24) == 255;
    pixel_set::AssignRun(covered, x, count, hiding);
    pixel_set::AssignRun(opaque, x, count, hiding);
  } else {
    for (int32_t i = 0; i < count; ++i) {
      pixel_set::AssignBit(covered, x + i, (values[i] >> 24) != 0);
      pixel_set::AssignBit(opaque, x + i, (values[i] >> 24) == 255);
    }
  }
  if ((any >> 24) != 0) pixel_set::WidenRows(layer.coveredTop, layer.coveredBottom, y);
  if ((all >> 24) != 255) layer.opaque = false;
  MarkRunChanged(layer, x, y, count);
}

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
      layer.opaquePixels.assign(layer.coverage.size(), 0);
      if (isComposite) model.changed.assign(layer.coverage.size(), 0);
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  if (!ok) {
    width = height = 0;
    layer.pixels.clear();
    layer.coverage.clear();
    layer.opaquePixels.clear();
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
        if (alpha == 255) pixel_set::AssignBit(RowOf(layer.opaquePixels, layer, y), x, true);
        opaque &= alpha == 255;
      }
    layer.opaque = opaque;
  }
  if (isComposite) {
    // The set was just made anew: empty, whatever bounds it had.
    model.compositeAlphaZero = source == nullptr;
    model.changedTop = 0;
    model.changedBottom = -1;
    model.changedFirstWord = std::numeric_limits<int32_t>::max();
    model.changedLastWord = -1;
    model.needsFullRun = true;
  }
  return ok;
}

void SetLayerPixel(Layer& layer, int32_t x, int32_t y, uint32_t value) {
  if (x < 0 || y < 0 || x >= layer.width || y >= layer.height) return;
  uint32_t& pixel = layer.pixels[static_cast<size_t>(y) * layer.width + x];
  if (pixel == value) return;
  RecordPixel(layer, x, y, pixel);
  pixel = value;
  const uint32_t alpha = value >> 24;
  if (alpha != 0) AddToSet(layer.coverage.data(), layer.coverageWords, layer.coveredTop, layer.coveredBottom, x, y);
  else pixel_set::AssignBit(RowOf(layer.coverage, layer, y), x, false);
  pixel_set::AssignBit(RowOf(layer.opaquePixels, layer, y), x, alpha == 255);
  if (alpha != 255) layer.opaque = false;
  MarkChanged(layer, x, y);
}

void SetLayerRun(Layer& layer, int32_t x, int32_t y, const uint32_t* values, int32_t count) {
  if (y < 0 || y >= layer.height || count <= 0) return;
  if (x < 0) {
    if (count <= -x) return;
    values -= x;
    count += x;
    x = 0;
  }
  count = std::min(count, layer.width - x);
  if (count <= 0) return;
  uint32_t* row = layer.pixels.data() + static_cast<size_t>(y) * layer.width;
  // Only the stretch from the first to the last pixel that differs changes.
  int32_t first = 0, last = count - 1;
  while (first < count && row[x + first] == values[first]) ++first;
  if (first == count) return;
  while (row[x + last] == values[last]) --last;
  const int32_t changed = last - first + 1;
  // One pass over old and new values learns what the recording and the sets
  // need: whether the old ones were all 0, whether the new are all opaque or
  // all clear.
  uint32_t before = 0, all = ~uint32_t{0}, any = 0;
  for (int32_t i = first; i <= last; ++i) {
    before |= row[x + i];
    all &= values[i];
    any |= values[i];
  }
  RecordRun(layer, x + first, y, changed, before == 0);
  std::memcpy(row + x + first, values + first, static_cast<size_t>(changed) * sizeof(uint32_t));
  AfterRunWritten(layer, x + first, y, values + first, changed, all, any);
}

void FillLayerRun(Layer& layer, int32_t x, int32_t y, int32_t count, uint32_t value) {
  constexpr int32_t kChunk = 256;
  uint32_t chunk[kChunk];
  if (x < 0) {
    count += x;
    x = 0;
  }
  count = std::min(count, layer.width - x);
  if (count <= 0) return;
  // Only as much as one call takes: strokes fill runs of three.
  std::fill_n(chunk, std::min(count, kChunk), value);
  for (int32_t done = 0; done < count; done += kChunk)
    SetLayerRun(layer, x + done, y, chunk, std::min(kChunk, count - done));
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
      layer.opaquePixels[static_cast<size_t>(y) * layer.coverageWords + w] = 0;
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
  // The history speaks of the layers that go now.
  ClearHistory();
  try {
    while (model.stack.size() > 1) model.stack.pop_back();
    if (model.stack.empty()) {
      model.stack.push_back(std::make_unique<Layer>());
      model.stack.back()->id = ++model.lastLayerId;
    }
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
    added->id = ++model.lastLayerId;
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
  if (TakeLayer(n) == nullptr) return;
  MakeCurrent(n < LayerCount() ? n : n - 1);
}

std::unique_ptr<Layer> TakeLayer(int32_t n) {
  CanvasModel& model = Model();
  if (n < 1 || n >= LayerCount()) return nullptr;
  std::unique_ptr<Layer> removed = std::move(model.stack[n]);
  MarkCoverageChanged(*removed);
  if (model.textTarget == removed.get()) model.textTarget = nullptr;
  model.stack.erase(model.stack.begin() + n);
  return removed;
}

int32_t PutLayer(int32_t n, std::unique_ptr<Layer>& layer) {
  CanvasModel& model = Model();
  if (layer == nullptr || model.stack.empty()) return -1;
  n = std::clamp(n, 1, LayerCount());
  try {
    model.stack.reserve(model.stack.size() + 1);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  MarkCoverageChanged(*layer);
  model.stack.insert(model.stack.begin() + n, std::move(layer));
  return n;
}

int32_t IndexOfLayer(uint64_t id) {
  const auto& stack = Model().stack;
  for (size_t i = 0; i < stack.size(); ++i)
    if (stack[i]->id == id) return static_cast<int32_t>(i);
  return -1;
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
