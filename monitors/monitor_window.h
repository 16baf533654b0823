// Behaviour every monitor dialog shares: hiding instead of closing, mouse
// moves forwarded to the engine, placement beside the engine's window.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <span>

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

// The bytes of a host message's record, as `cbData` gives their count, for
// the commands that read it. Empty for a null `lpData`, and for a count that
// would run past the end of the address space: no such record can be in
// memory, and reading it would run into unmapped pages.
inline std::span<const std::byte> HostRecord(const COPYDATASTRUCT& data) {
  const auto start = reinterpret_cast<uintptr_t>(data.lpData);
  if (!data.lpData || data.cbData > UINTPTR_MAX - start) return {};
  return {static_cast<const std::byte*>(data.lpData), data.cbData};
}

// Width and height of a WM_SIZE message's new client area.
inline int SizeWidth(LPARAM lparam) { return LOWORD(lparam); }
inline int SizeHeight(LPARAM lparam) { return HIWORD(lparam); }

}  // namespace vnscope
