// The canvas model's one state block, shared by the files that make up the
// model (layers, compositing, edit history); nothing outside canvas/'s
// platform-free files includes it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "canvas/layer_stack.h"
#include "canvas/pixel_set.h"

namespace vnscope {

// Pixels x = start % width to x + count - 1 of one row of a layer, as the
// pixel index of the first and a count. A blank run's pixels were all 0,
// which is kept without their values: strokes and mosaics mostly cover
// transparent pixels.
struct PixelRun {
  uint32_t start;
  uint32_t count : 31;
  uint32_t blank : 1;
};

// What an edit being recorded has changed in one layer: the value each pixel
// had before its first change, in runs along rows, each pixel once; `values`
// holds those of the runs that are not blank, in order.
struct ChangeRecording {
  const Layer* layer = nullptr;  // none: nothing is being recorded
  std::vector<uint64_t> seen;    // the pixels recorded so far
  int32_t seenWords = 0;
  int32_t seenTop = 0;
  int32_t seenBottom = -1;
  std::vector<PixelRun> runs;
  std::vector<uint32_t> values;
  bool touched = false;  // the edit changed a pixel of the layer
  bool failed = false;   // storage ran out: the edit cannot be undone
};

struct CanvasModel {
  std::vector<std::unique_ptr<Layer>> stack;
  int32_t currentIndex = 0;
  uint64_t lastLayerId = 0;
  Layer composite;
  // Pixels of any layer changed since the last compositing, in the
  // composite's size.
  std::vector<uint64_t> changed;
  int32_t changedTop = 0;
  int32_t changedBottom = -1;
  // The words of a row that may hold changes, so that a small edit on a wide
  // picture looks at its own columns only.
  int32_t changedFirstWord = std::numeric_limits<int32_t>::max();
  int32_t changedLastWord = -1;
  // The composite was re-initialised or the stack reset: only a full run
  // makes it right again.
  bool needsFullRun = true;
  // Compositing never writes the composite's alpha bytes; when they all
  // started as 0, an opaque layer is copied without reading them.
  bool compositeAlphaZero = false;
  // What ClearLayerForRedraw took away: (pixel index, value).
  std::vector<std::pair<size_t, uint32_t>> cleared;
  ChangeRecording recording;
  Layer* textTarget = nullptr;
  uint32_t lineColour = 0x000000FF;
  bool snapshotEdited = false;
};

// Inline, as nearly every pixel operation reaches it.
inline CanvasModel& Model() {
  static CanvasModel model;
  return model;
}

inline int32_t ChangedWords() { return pixel_set::WordsPerRow(Model().composite.width); }

inline bool SameSizeAsComposite(const Layer& layer) {
  const Layer& composite = Model().composite;
  return layer.width == composite.width && layer.height == composite.height;
}

inline pixel_set::PixelSet CoverageOf(const Layer& layer) {
  return {const_cast<uint64_t*>(layer.coverage.data()), layer.coverageWords, layer.coveredTop, layer.coveredBottom};
}

// The pixels changed since the last compositing.
inline pixel_set::PixelSet ChangedPixels() {
  CanvasModel& model = Model();
  return {model.changed.data(), ChangedWords(), model.changedTop, model.changedBottom, model.changedFirstWord,
          model.changedLastWord};
}

// Forgets every change marked since the last compositing.
void ForgetChanges();

// Makes layer `index` current without any of SelectLayer's rules.
void MakeCurrent(int32_t index);

// Removes annotation layer n (n >= 1) from the stack and hands it over, the
// current layer left as it is; null beyond the stack.
std::unique_ptr<Layer> TakeLayer(int32_t n);
// Moves `layer` back into the stack at index n (held within 1 to the count);
// its pixels count as changed. The index it got, or -1, `layer` kept, when
// the stack could not grow.
int32_t PutLayer(int32_t n, std::unique_ptr<Layer>& layer);
// The stack index of the layer with this id; -1 when it is not in the stack.
int32_t IndexOfLayer(uint64_t id);

// Recording an edit's changes (change_recording.cpp). From BeginRecording to
// EndRecording every change of `layer` made through the layer functions keeps
// the value the pixel had before its first change; storage that cannot be had
// marks the recording failed, and the edit itself goes on.
void BeginRecording(Layer& layer);
void RecordPixel(const Layer& layer, int32_t x, int32_t y, uint32_t before);
// The values pixels x to x + count - 1 of row y hold now, before a write;
// `blank`: they are all 0.
void RecordRun(const Layer& layer, int32_t x, int32_t y, int32_t count, bool blank);
// Hands over what was recorded; false, handing nothing, when it failed.
bool EndRecording(std::vector<PixelRun>* runs, std::vector<uint32_t>* values);

}  // namespace vnscope
