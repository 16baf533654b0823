// Undo and redo of the canvas's edits. Every committed edit is one step: a
// segment, a rectangle, an arrow, a mosaic, a layer added (a text box with
// all its typing is the layer its box added) or deleted. A step keeps only
// what it changed: the changed pixels of one layer, or the layer that left
// the stack. Platform-free.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vnscope {

// What an undo or redo did to the stack, for the layer list to follow.
struct StackChange {
  enum class Kind { kNothing, kPixels, kLayerInserted, kLayerRemoved };
  Kind kind = Kind::kNothing;
  int32_t index = 0;     // inserted: the layer's index now; removed: the one it had
  std::u16string label;  // the layer's entry in the layer list
};

// Forgets every step. Each canvas starts with an empty history (ResetLayers
// clears it).
void ClearHistory();

bool CanUndo();
bool CanRedo();

// Bytes the steps hold; never more than kHistoryBytes once a step is added.
size_t HistoryBytes();

// Runs `edit`, which changes pixels of the current layer only, keeps what it
// changed as one step and brings the composite up to date. True when a pixel
// changed. An edit the history has no room to record is made all the same;
// it and every step before it can then no longer be undone.
bool CommitEdit(const std::function<void()>& edit);

// AddLayer () as one step; `label` is the layer's entry in the layer list,
// given back when an undo or redo takes the layer out or puts it back.
// False when the stack could not grow.
bool AddLayerAsStep(std::u16string label);

// DeleteLayer (n) as one step, the layer kept for its undo; nothing beyond
// the stack or for n = 0.
void DeleteLayerAsStep(int32_t n, std::u16string label);

// Undoes the last step still applied, or redoes the last one undone, and
// brings the composite up to date. A layer comes back at its place with its
// pixels, and the current layer is the one that was current before (undo) or
// after (redo) the step. SnapshotEdited takes the value it had on that side
// of the step; with every step undone it is false, unless the bound made
// older steps go. A new step drops whatever could still be redone. When the
// storage an undo or redo needs cannot be had, nothing changes.
StackChange Undo();
StackChange Redo();

}  // namespace vnscope
