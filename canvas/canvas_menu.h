// The canvas's right-click menu: the tools, a separator, undo and redo.
#pragma once
#include <windows.h>

#include "win32/unique_handle.h"

namespace vnscope {

// The menu, built once per canvas window; null when it cannot be.
UniqueMenu BuildCanvasMenu();

// Whether a command of the menu chooses a tool.
bool IsToolCommand(UINT command);

// Opens the menu at `screen` with the current tool checked and undo and redo
// greyed when there is nothing to undo or redo. The choice reaches `owner` as
// WM_COMMAND.
void TrackCanvasMenu(HMENU menu, HWND owner, POINT screen, UINT tool, bool canUndo, bool canRedo);

}  // namespace vnscope
