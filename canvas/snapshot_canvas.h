// The snapshot canvas: the child window of the report dialog that shows the
// composite of the layer stack, magnified and panned on request, and lets the
// tester draw lines and type text boxes on it.
#pragma once
#include <windows.h>

namespace vnscope {

inline constexpr wchar_t kSnapshotClassName[] = L"SNAPSHOT";

// The popup menu's commands: the tools, then undo and redo.
inline constexpr UINT kLineToolCommand = 30000;
inline constexpr UINT kTextToolCommand = 30001;
inline constexpr UINT kRectangleToolCommand = 30002;
inline constexpr UINT kArrowToolCommand = 30003;
inline constexpr UINT kMosaicToolCommand = 30004;
inline constexpr UINT kUndoCommand = 30010;
inline constexpr UINT kRedoCommand = 30011;

// Registers the "SNAPSHOT" class with the module's instance (ModuleInstance);
// false when RegisterClassW fails. Create the canvas with
// CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES, kSnapshotClassName,
// L"", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP, x, y, W, H,
// parent, nullptr, ModuleInstance(), pixels), `pixels` being W x H top-down
// B, G, R, A pixels or null; W and H become the image size for the window's
// life.
bool RegisterSnapshotClass();
void UnregisterSnapshotClass();

// The common colour dialog for the colour of lines committed afterwards; true
// when the tester confirmed a colour.
bool ChooseLineColour(HWND owner);

}  // namespace vnscope
