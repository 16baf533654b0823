// What the Win32 benchmark programs share: an engine-like owner window and
// the conversion of performance-counter ticks.
#pragma once
#include <windows.h>

namespace bench {

inline LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(window, message, wparam, lparam);
}

// A 640 x 480 top-level window at (100, 50) to own the monitors.
inline HWND CreateOwnerWindow() {
  WNDCLASSW cls{};
  cls.lpfnWndProc = OwnerProc;
  cls.hInstance = GetModuleHandleW(nullptr);
  cls.lpszClassName = L"VnscopeBenchOwner";
  RegisterClassW(&cls);
  return CreateWindowW(cls.lpszClassName, L"bench", WS_OVERLAPPEDWINDOW, 100, 50, 640, 480, nullptr, nullptr,
                       cls.hInstance, nullptr);
}

inline double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace bench
