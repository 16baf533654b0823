// Recording what an edit changes in one layer, for the edit history.
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "canvas/canvas_model.h"

namespace vnscope {

using pixel_set::AddRunToSet;
using pixel_set::AddToSet;
using pixel_set::InSet;
using pixel_set::kBitsPerWord;

namespace {

// Whether none of the pixels x to x + count - 1 of row y was recorded yet.
bool RunUnseen(const ChangeRecording& recording, int32_t x, int32_t y, int32_t count) {
  for (int32_t i = 0; i < count;) {
    if (InSet(recording.seen.data(), recording.seenWords, x + i, y)) return false;
    // A whole empty word at once.
    const int32_t bit = (x + i) % kBitsPerWord;
    i += bit == 0 && recording.seen[static_cast<size_t>(y) * recording.seenWords + (x + i) / kBitsPerWord] == 0
             ? kBitsPerWord
             : 1;
  }
  return true;
}

// Appends the values `before` of pixels x to x + count - 1 of row y to the
// recording, in stretches of blank (all 0) and other pixels, each joining
// the run before it when it continues that run; `allBlank`: every one is 0.
// False when storage ran out.
bool Keep(ChangeRecording& recording, const Layer& layer, int32_t x, int32_t y, const uint32_t* before,
          int32_t count, bool allBlank) {
  try {
    for (int32_t i = 0; i < count;) {
      const bool blank = before[i] == 0;
      int32_t end = allBlank ? count : i + 1;  // an area drawn over nothing is one stretch
      while (end < count && (before[end] == 0) == blank) ++end;
      const auto start = static_cast<uint32_t>(static_cast<size_t>(y) * layer.width + x + i);
      const auto length = static_cast<uint32_t>(end - i);
      PixelRun* last = recording.runs.empty() ? nullptr : &recording.runs.back();
      if (last != nullptr && x + i > 0 && last->start + last->count == start && last->blank == blank)
        last->count += length;
      else
        recording.runs.push_back({start, length, blank});
      if (!blank) recording.values.insert(recording.values.end(), before + i, before + end);
      i = end;
    }
  } catch (const std::bad_alloc&) {
    recording.failed = true;
    return false;
  }
  return true;
}

}  // namespace

void BeginRecording(Layer& layer) {
  ChangeRecording& recording = Model().recording;
  recording.layer = &layer;
  recording.touched = recording.failed = false;
  recording.runs.clear();
  recording.values.clear();
  const int32_t words = pixel_set::WordsPerRow(layer.width);
  const size_t size = static_cast<size_t>(words) * static_cast<size_t>(layer.height);
  if (recording.seen.size() == size && recording.seenWords == words) return;
  recording.seenWords = words;
  recording.seenTop = 0;
  recording.seenBottom = -1;
  try {
    recording.seen.assign(size, 0);
  } catch (const std::bad_alloc&) {
    recording.seen.clear();
    recording.failed = true;
  }
}

bool EndRecording(std::vector<PixelRun>* runs, std::vector<uint32_t>* values) {
  ChangeRecording& recording = Model().recording;
  const bool kept = !recording.failed;
  if (kept) {
    *runs = std::move(recording.runs);
    *values = std::move(recording.values);
    // What grew by doubling gives back its spare room, which would count
    // against the bound for as long as the step is kept.
    try {
      if (runs->capacity() > runs->size() + runs->size() / 4 + 16) runs->shrink_to_fit();
      if (values->capacity() > values->size() + values->size() / 4 + 16) values->shrink_to_fit();
    } catch (const std::bad_alloc&) {
      // The spare room stays; the record is whole.
    }
  }
  if (!recording.seen.empty())
    pixel_set::ClearSet(recording.seen, recording.seenWords, recording.seenTop, recording.seenBottom);
  recording.layer = nullptr;
  recording.runs.clear();
  recording.values.clear();
  return kept;
}

void RecordPixel(const Layer& layer, int32_t x, int32_t y, uint32_t before) {
  ChangeRecording& recording = Model().recording;
  if (recording.layer != &layer) return;
  recording.touched = true;
  if (recording.failed || InSet(recording.seen.data(), recording.seenWords, x, y)) return;
  if (!Keep(recording, layer, x, y, &before, 1, before == 0)) return;
  AddToSet(recording.seen.data(), recording.seenWords, recording.seenTop, recording.seenBottom, x, y);
}

void RecordRun(const Layer& layer, int32_t x, int32_t y, int32_t count, bool blank) {
  ChangeRecording& recording = Model().recording;
  if (recording.layer != &layer) return;
  recording.touched = true;
  if (recording.failed) return;
  const uint32_t* before = layer.pixels.data() + static_cast<size_t>(y) * layer.width + x;
  // In one piece when no pixel of the run was recorded yet (an area filled
  // row by row), otherwise pixel by pixel.
  if (!RunUnseen(recording, x, y, count)) {
    for (int32_t i = 0; i < count; ++i) RecordPixel(layer, x + i, y, before[i]);
    return;
  }
  if (!Keep(recording, layer, x, y, before, count, blank)) return;
  AddRunToSet(recording.seen.data(), recording.seenWords, recording.seenTop, recording.seenBottom, x, y, count);
}

}  // namespace vnscope
