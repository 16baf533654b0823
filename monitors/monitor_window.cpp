#include "monitors/monitor_window.h"

namespace vnscope {

bool HandleSharedMonitorMessage(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      // Monitors live until DestroyMonitors: closing only hides them.
      ShowWindow(dialog, SW_HIDE);
      SetFocus(MonitorOwner(dialog));
      return true;
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
      ForwardMouseMove(MonitorOwner(dialog), message, wparam, lparam);
      return true;
    default:
      return false;
  }
}

void ForwardMouseMove(HWND engine, UINT message, WPARAM wparam, LPARAM lparam) {
  // Posted, not sent: the engine reads it in its own time.
  PostMessageW(engine, message, wparam, lparam);
}

void PlaceBesideOwner(HWND dialog, int width) {
  RECT owner;
  if (!GetWindowRect(MonitorOwner(dialog), &owner)) return;
  MoveWindow(dialog, owner.right, owner.top, width, owner.bottom - owner.top, TRUE);
}

void MoveControl(HWND dialog, int controlId, int x, int y, int width, int height) {
  if (HWND control = GetDlgItem(dialog, controlId)) MoveWindow(control, x, y, width, height, TRUE);
}

}  // namespace vnscope
