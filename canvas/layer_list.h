// The layer list panel floating in the canvas: one entry per annotation layer,
// topmost first, and a last entry that creates a layer. Entry s of n stands
// for stack index n - s - 1; the last entry maps to 0, the request to create.
#pragma once
#include <windows.h>

#include "canvas/edit_history.h"

namespace vnscope {

// The entry of the layer each text box adds.
inline constexpr wchar_t kTextLayerEntry[] = L"テキストレイヤー";

// Creates the panel as a child of the canvas with the entry of the canvas's
// first layer above the create entry, the first selected.
HWND CreateLayerList(HWND canvas);

// Keeps the panel near the canvas's top-right corner, half its height.
void PlaceLayerList(HWND list, HWND canvas);

// The entry of a text box's layer, at the top.
void InsertTextLayerEntry(HWND list);

// Applies a notification of the panel to the stack: a click selects the layer
// for lines, a double click deletes it (recompositing and repainting the
// canvas) or, on the create entry, adds a layer. Adding and deleting are
// steps of the edit history.
void OnLayerListNotification(HWND list, HWND canvas, UINT code);

// The entries follow what an undo or redo did to the stack: a layer that
// left it loses its entry, one that came back gets its entry again.
void FollowStackChange(HWND list, const StackChange& change);

}  // namespace vnscope
