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

bool InstallPropertySubclass(HWND control, WNDPROC procedure, const wchar_t* property) {
  if (!control || GetPropW(control, property)) return false;
  auto previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(control, GWLP_WNDPROC));
  // The property is set first: the new procedure may run as soon as it is in.
  if (!previous || !SetPropW(control, property, reinterpret_cast<HANDLE>(previous))) return false;
  SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
  return true;
}

LRESULT CallPropertyPrevious(HWND control, const wchar_t* property, UINT message, WPARAM wparam, LPARAM lparam) {
  auto previous = reinterpret_cast<WNDPROC>(GetPropW(control, property));
  if (!previous) return DefWindowProcW(control, message, wparam, lparam);
  return CallWindowProcW(previous, control, message, wparam, lparam);
}

void RemovePropertySubclass(HWND control, const wchar_t* property) {
  auto previous = reinterpret_cast<WNDPROC>(RemovePropW(control, property));
  if (previous) SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
}

}  // namespace vnscope
