// Behaviour every monitor dialog shares: hiding instead of closing, mouse
// moves forwarded to the engine, placement beside the engine's window.
#pragma once
#include <windows.h>

namespace vnscope {

// The engine's window: a monitor is an owned pop-up, so its "parent" is its owner.
inline HWND MonitorOwner(HWND dialog) { return GetParent(dialog); }

// Close hides the monitor and hands the keyboard focus to the engine; mouse
// moves are posted to the engine unchanged. Returns true when it handled
// the message.
bool HandleSharedMonitorMessage(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Posts a mouse move, coordinates as received, to the engine's window.
void ForwardMouseMove(HWND engine, UINT message, WPARAM wparam, LPARAM lparam);

// Moves the dialog to the right of the engine's window, top-aligned and as
// tall, `width` pixels wide. Stays put when the engine's rectangle is unknown.
void PlaceBesideOwner(HWND dialog, int width);

// Moves a child control of `dialog` to the rectangle, repainting it.
void MoveControl(HWND dialog, int controlId, int x, int y, int width, int height);

// Width and height of a WM_SIZE message's new client area.
inline int SizeWidth(LPARAM lparam) { return LOWORD(lparam); }
inline int SizeHeight(LPARAM lparam) { return HIWORD(lparam); }

}  // namespace vnscope
