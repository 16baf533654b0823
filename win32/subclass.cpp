#include "win32/subclass.h"

namespace vnscope {

bool Subclass::Install(HWND control, WNDPROC procedure) {
  if (!control || previous_) return false;
  auto previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
  if (!previous) return false;
  control_ = control;
  previous_ = previous;
  return true;
}

void Subclass::Restore() {
  if (!previous_) return;
  if (IsWindow(control_)) {
    SetWindowLongPtrW(control_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
  }
  control_ = nullptr;
  previous_ = nullptr;
}

LRESULT Subclass::CallPrevious(HWND window, UINT message, WPARAM wparam, LPARAM lparam) const {
  if (!previous_) return DefWindowProcW(window, message, wparam, lparam);
  return CallWindowProcW(previous_, window, message, wparam, lparam);
}

}  // namespace vnscope
