#include "canvas/edit_history.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "canvas/canvas_limits.h"
#include "canvas/canvas_model.h"
#include "canvas/layer_stack.h"

namespace vnscope {
namespace {

struct EditStep {
  enum class Kind { kPixels, kLayerAdded, kLayerDeleted };
  Kind kind = Kind::kPixels;
  uint64_t layerId = 0;
  // Pixel steps: the runs the edit changed and, for those not blank, pixel by
  // pixel the value the layer does not show now (the one before the edit
  // while the step is applied, the one after while it is undone), so that
  // undo and redo are the same exchange.
  std::vector<PixelRun> runs;
  std::vector<uint32_t> values;
  // Layer steps: the layer while it is out of the stack, its place there and
  // its entry in the layer list.
  std::unique_ptr<Layer> layer;
  int32_t index = 0;
  std::u16string label;
  int32_t currentBefore = 0;
  int32_t currentAfter = 0;
  bool editedBefore = false;
  bool editedAfter = false;
  size_t bytes = 0;
};

struct History {
  std::deque<EditStep> steps;
  size_t applied = 0;  // steps [0, applied) are applied, the rest undone
  size_t bytes = 0;
  bool dropped = false;  // older steps went to keep within the bound
};

History& TheHistory() {
  static History history;
  return history;
}

size_t StepBytes(const EditStep& step) {
  size_t bytes = sizeof(EditStep) + step.runs.capacity() * sizeof(PixelRun) +
                 step.values.capacity() * sizeof(uint32_t) + step.label.capacity() * sizeof(char16_t);
  if (step.layer)
    bytes += sizeof(Layer) + step.layer->pixels.capacity() * sizeof(uint32_t) +
             (step.layer->coverage.capacity() + step.layer->opaquePixels.capacity()) * sizeof(uint64_t);
  return bytes;
}

void Recount(EditStep& step) {
  History& history = TheHistory();
  history.bytes -= step.bytes;
  step.bytes = StepBytes(step);
  history.bytes += step.bytes;
}

// Drops what could be redone, adds the step and lets the oldest steps go
// while the history holds more than its bound.
void Push(EditStep step) {
  History& history = TheHistory();
  while (history.steps.size() > history.applied) {
    history.bytes -= history.steps.back().bytes;
    history.steps.pop_back();
  }
  step.bytes = StepBytes(step);
  try {
    history.steps.push_back(std::move(step));
  } catch (const std::bad_alloc&) {
    ClearHistory();
    history.dropped = true;
    return;
  }
  ++history.applied;
  history.bytes += history.steps.back().bytes;
  while (history.bytes > kHistoryBytes && !history.steps.empty()) {
    history.bytes -= history.steps.front().bytes;
    history.steps.pop_front();
    --history.applied;
    history.dropped = true;
  }
}

int32_t ClampedIndex(int32_t index) { return std::clamp(index, 0, std::max(LayerCount() - 1, 0)); }

bool AllZero(const uint32_t* values, uint32_t count) {
  uint32_t any = 0;
  for (uint32_t i = 0; i < count; ++i) any |= values[i];
  return any == 0;
}

// Room in `shown` for what the layer shows in the step's runs: for all
// `bound` of their pixels, or when that cannot be had, for exactly those not
// blank. False when neither can be had.
bool ReserveShown(const EditStep& step, const Layer& layer, size_t bound, std::vector<uint32_t>& shown) {
  try {
    shown.reserve(bound);
    return true;
  } catch (const std::bad_alloc&) {
    // Then exactly what is needed, at the cost of reading the runs twice.
  }
  size_t kept = 0;
  for (const PixelRun& run : step.runs)
    if (!AllZero(layer.pixels.data() + run.start, run.count)) kept += run.count;
  try {
    shown.reserve(kept);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// What undoing or redoing a step did to the stack; none when the storage it
// needed could not be had, and then nothing changed.
using Exchange = std::optional<StackChange>;

// Exchanges the layer's pixels of the step's runs with the values the step
// keeps: each run takes back what the step held (0 for a blank run) and the
// step keeps what the layer showed, blank where it was all 0. The storage is
// had first, so that a failure changes nothing.
Exchange ExchangePixels(EditStep& step) {
  const int32_t index = IndexOfLayer(step.layerId);
  if (index < 0) return StackChange{};
  Layer& layer = *LayerAt(index);
  const auto width = static_cast<uint32_t>(layer.width);
  size_t bound = 0;
  for (const PixelRun& run : step.runs) {
    if (size_t{run.start} + run.count > layer.pixels.size()) return StackChange{};
    bound += run.count;
  }
  std::vector<uint32_t> shown;
  if (!ReserveShown(step, layer, bound, shown)) return std::nullopt;
  const uint32_t* held = step.values.data();
  for (PixelRun& run : step.runs) {
    const uint32_t* now = layer.pixels.data() + run.start;
    const bool blank = AllZero(now, run.count);
    if (!blank) shown.insert(shown.end(), now, now + run.count);
    const auto x = static_cast<int32_t>(run.start % width), y = static_cast<int32_t>(run.start / width);
    if (run.blank) {
      FillLayerRun(layer, x, y, static_cast<int32_t>(run.count), 0);
    } else {
      SetLayerRun(layer, x, y, held, static_cast<int32_t>(run.count));
      held += run.count;
    }
    run.blank = blank;
  }
  try {
    // Room for every pixel was had; what the layer showed may be far less
    // (a redo over a blank area), and the spare room would count against
    // the bound.
    if (shown.capacity() > shown.size() + shown.size() / 4 + 16) shown.shrink_to_fit();
  } catch (const std::bad_alloc&) {
    // The spare room stays; the values are whole.
  }
  step.values = std::move(shown);
  return StackChange{StackChange::Kind::kPixels, index, {}};
}

Exchange TakeOut(EditStep& step, int32_t current) {
  const int32_t index = IndexOfLayer(step.layerId);
  if (index < 1) return StackChange{};
  step.layer = TakeLayer(index);
  step.index = index;
  MakeCurrent(ClampedIndex(current));
  return StackChange{StackChange::Kind::kLayerRemoved, index, step.label};
}

Exchange PutBack(EditStep& step, int32_t current) {
  if (step.layer == nullptr) return StackChange{};
  const int32_t index = PutLayer(step.index, step.layer);
  if (index < 0) return std::nullopt;
  MakeCurrent(ClampedIndex(current));
  return StackChange{StackChange::Kind::kLayerInserted, index, step.label};
}

// Undoes (`undo`) or redoes the step. A pixel step is the same exchange
// either way; a layer step takes its layer out or puts it back, and the
// current layer is the one of that side of the step.
Exchange ApplyStep(EditStep& step, bool undo) {
  const int32_t current = undo ? step.currentBefore : step.currentAfter;
  switch (step.kind) {
    case EditStep::Kind::kPixels: return ExchangePixels(step);
    case EditStep::Kind::kLayerAdded: return undo ? TakeOut(step, current) : PutBack(step, current);
    case EditStep::Kind::kLayerDeleted: return undo ? PutBack(step, current) : TakeOut(step, current);
  }
  return StackChange{};
}

}  // namespace

void ClearHistory() {
  History& history = TheHistory();
  history.steps.clear();
  history.applied = 0;
  history.bytes = 0;
  history.dropped = false;
}

bool CanUndo() { return TheHistory().applied > 0; }

bool CanRedo() { return TheHistory().applied < TheHistory().steps.size(); }

size_t HistoryBytes() { return TheHistory().bytes; }

bool CommitEdit(const std::function<void()>& edit) {
  Layer* layer = CurrentLayer();
  EditStep step;
  step.currentBefore = step.currentAfter = CurrentLayerIndex();
  step.editedBefore = SnapshotEdited();
  if (layer != nullptr) {
    step.layerId = layer->id;
    BeginRecording(*layer);
  }
  edit();
  const bool touched = layer != nullptr && Model().recording.touched;
  const bool kept = layer == nullptr || EndRecording(&step.runs, &step.values);
  if (touched && kept) {
    step.editedAfter = true;
    Push(std::move(step));
  } else if (touched) {
    ClearHistory();
    TheHistory().dropped = true;
  }
  CompositeChanges();
  return touched;
}

bool AddLayerAsStep(std::u16string label) {
  EditStep step;
  step.kind = EditStep::Kind::kLayerAdded;
  step.currentBefore = CurrentLayerIndex();
  step.editedBefore = SnapshotEdited();
  const int32_t count = LayerCount();
  AddLayer();
  if (LayerCount() == count) return false;
  step.index = LayerCount() - 1;
  step.layerId = LayerAt(step.index)->id;
  step.currentAfter = CurrentLayerIndex();
  step.label = std::move(label);
  Push(std::move(step));
  return true;
}

void DeleteLayerAsStep(int32_t n, std::u16string label) {
  if (n < 1 || n >= LayerCount()) return;
  EditStep step;
  step.kind = EditStep::Kind::kLayerDeleted;
  step.currentBefore = CurrentLayerIndex();
  step.editedBefore = SnapshotEdited();
  step.layer = TakeLayer(n);
  step.layerId = step.layer->id;
  step.index = n;
  MakeCurrent(n < LayerCount() ? n : n - 1);
  step.currentAfter = CurrentLayerIndex();
  step.label = std::move(label);
  Push(std::move(step));
}

StackChange Undo() {
  History& history = TheHistory();
  StackChange change;
  EditStep* step = history.applied > 0 ? &history.steps[history.applied - 1] : nullptr;
  const bool edited = SnapshotEdited();
  const Exchange done = step != nullptr ? ApplyStep(*step, true) : std::nullopt;
  if (done) {
    change = *done;
    step->editedAfter = edited;
    --history.applied;
    Recount(*step);
    SetSnapshotEdited(history.applied == 0 && !history.dropped ? false : step->editedBefore);
  }
  CompositeChanges();
  return change;
}

StackChange Redo() {
  History& history = TheHistory();
  StackChange change;
  EditStep* step = history.applied < history.steps.size() ? &history.steps[history.applied] : nullptr;
  const Exchange done = step != nullptr ? ApplyStep(*step, false) : std::nullopt;
  if (done) {
    change = *done;
    ++history.applied;
    Recount(*step);
    SetSnapshotEdited(step->editedAfter);
  }
  CompositeChanges();
  return change;
}

}  // namespace vnscope
