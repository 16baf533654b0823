// The annotation canvas's picture: the screenshot as the base layer, the
// tester's annotation layers over it, and the composite that is shown and
// sent. One canvas exists at a time, so all of this is module state.
//
// Compositing rule: every layer darkens the 3 x 3 neighbourhood of each of its
// non-transparent pixels (the rim that keeps white text readable anywhere) and
// is then alpha-blended over what lies below. The composite is kept up to date
// incrementally: layers remember which pixels they cover and the stack which
// pixels changed since the last compositing, so an edit costs the pixels near
// it, not the whole image, and gives exactly the bytes of a full run.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vnscope {

// One plane of the picture: rows top-down, each value 0xAARRGGBB (the bytes
// B, G, R, A in memory); alpha is coverage, 0 transparent. Write pixels only
// through SetLayerPixel (or ClearLayerForRedraw) so the coverage stays true.
struct Layer {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;
  // One bit per pixel, set for every pixel that may be non-transparent, rows
  // of `coverageWords` words; `coveredTop` to `coveredBottom` bounds the rows
  // with bits set (empty when top > bottom).
  std::vector<uint64_t> coverage;
  // Likewise one bit for exactly the pixels whose alpha is 255, which hide
  // whatever lies under them.
  std::vector<uint64_t> opaquePixels;
  int32_t coverageWords = 0;
  int32_t coveredTop = 0;
  int32_t coveredBottom = -1;
  // Every alpha is 255 (a game screenshot): compositing it is a plain copy.
  bool opaque = false;
  // Names the layer for the edit history, which outlives the layer's place
  // in the stack; unique within the process.
  uint64_t id = 0;
};

// Sizes the layer and fills it from `source` (width x height x 4 bytes, B, G,
// R, A) or with zeros. False with a 0 x 0 layer when the storage cannot be had
// or a size is negative.
bool InitLayer(Layer& layer, int32_t width, int32_t height, const uint8_t* source);

// Writes one pixel; positions outside the layer are ignored.
void SetLayerPixel(Layer& layer, int32_t x, int32_t y, uint32_t value);
// Writes `count` pixels of row y from x on, as SetLayerPixel would one by one
// (those outside the layer are dropped), at the cost of a copy.
void SetLayerRun(Layer& layer, int32_t x, int32_t y, const uint32_t* values, int32_t count);
// The same with one value for every pixel.
void FillLayerRun(Layer& layer, int32_t x, int32_t y, int32_t count, uint32_t value);

// Sets every pixel of the layer to 0, touching only the covered ones, and
// remembers their values; FinishLayerRedraw then forgets the change of every
// pixel that was drawn back to the value it had, so redrawing a text layer
// recomposites only what the new rendering really changed.
void ClearLayerForRedraw(Layer& layer);
void FinishLayerRedraw(Layer& layer);

// The stack. Element 0 is the base layer (the screenshot); elements 1 and up
// are annotation layers, later ones over earlier ones. A layer's address stays
// valid until that layer itself is removed.
Layer& CompositeImage();
int32_t LayerCount();
Layer* LayerAt(int32_t index);  // null beyond the stack
int32_t CurrentLayerIndex();    // 0: the base layer, into which no line is drawn
Layer* CurrentLayer();

// Shrinks the stack to the base layer, makes it current and fills it from
// `source` (null: zeros). The result is InitLayer's.
bool ResetLayers(int32_t width, int32_t height, const uint8_t* source);
// Appends an empty layer of the base layer's size and makes it current.
bool AddLayer();
// 0: nothing; 1 to the last index: that layer; beyond: the last layer.
void SelectLayer(int32_t n);
// n >= 1 within the stack: removes layer n; the one that followed it becomes
// current with index n, or the one before it when it was the last. Clears the
// text target when it was that layer. Beyond the stack: nothing.
void DeleteLayer(int32_t n);

// Composites one layer over the composite (rim, then blend). False, changing
// nothing, when its size differs from the composite's.
bool CompositeLayer(const Layer& layer);
// Every layer from the base upward; stops with false at the first layer of
// another size. The composite is not cleared first.
bool Recomposite();
// Brings the composite up to date with the pixels changed since the last
// compositing, giving the bytes Recomposite would give; runs Recomposite
// itself when the base layer is not opaque (its pixels then depend on what the
// composite held) or a layer's size differs.
bool CompositeChanges();

// Copies the composite into the report's snapshot buffer with every alpha
// 0xFF, when the sizes match and the depth is 32 bits (32 to 39); otherwise
// leaves the destination untouched.
void FlattenSnapshot(uint8_t bitsPerPixel, uint16_t width, uint16_t height, uint8_t* destination);

// The colour of new lines, a COLORREF (0x00BBGGRR); red at first, kept for the
// process.
uint32_t LineColour();
void SetLineColour(uint32_t colour);
// The layer pixel a stroke writes: opaque, 0xAARRGGBB from LineColour.
uint32_t LinePixel();

// Whether anything was drawn on the current canvas.
bool SnapshotEdited();
void SetSnapshotEdited(bool edited);

// The layer typed text goes into, or null; cleared when that layer is removed.
Layer* TextTarget();
void SetTextTarget(Layer* layer);

}  // namespace vnscope
