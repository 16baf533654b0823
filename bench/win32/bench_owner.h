// What the Win32 benchmark programs share: an engine-like owner window, the
// monitors created as an engine does, host messages and the conversion of
// performance-counter ticks.
#pragma once
#include <windows.h>

#include <cstdio>

#include "include/vnscope.h"

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

// Milliseconds on the performance counter.
inline double NowMs() {
  static const LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// WM_COPYDATA as the engine sends it.
inline void SendCopyData(HWND window, ULONG_PTR command, const void* record, DWORD size) {
  COPYDATASTRUCT data{command, size, const_cast<void*>(record)};
  SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

// vnscope.dll loaded and all six monitors created for `owner`, destroyed and
// unloaded again at the end; `created()` says whether both worked.
class EngineMonitors {
 public:
  explicit EngineMonitors(HWND owner) : dll_(LoadLibraryW(L"vnscope.dll")) {
    set_.size = 24;
    if (!dll_) {
      std::fprintf(stderr, "vnscope.dll did not load\n");
      return;
    }
    const auto create = VnscopeExport<CreateMonitorsFn>(dll_, "CreateMonitors");
    created_ = create && create(VNSCOPE_INTERFACE_VERSION, owner, &set_);
  }
  ~EngineMonitors() {
    if (created_) VnscopeExport<DestroyMonitorsFn>(dll_, "DestroyMonitors")(&set_);
    if (dll_) FreeLibrary(dll_);
  }
  EngineMonitors(const EngineMonitors&) = delete;
  EngineMonitors& operator=(const EngineMonitors&) = delete;

  bool created() const { return created_; }
  const MonitorSet& set() const { return set_; }

 private:
  HMODULE dll_;
  MonitorSet set_{};
  bool created_ = false;
};

}  // namespace bench
