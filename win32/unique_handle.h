// Owners for Windows handles: one move-only template parameterised by the
// close function, with one-line aliases, and a guard that restores what was
// selected into a device context.
#pragma once
#include <windows.h>

#include <cstdint>
#include <utility>

namespace vnscope {

// `InvalidValue` is the integer value of the handle that owns nothing: 0 for
// most handles, -1 for files and sockets.
template <typename Handle, auto Close, intptr_t InvalidValue = 0>
class UniqueAny {
  // A C-style cast: Handle is a pointer for most kinds and an integer for sockets.
  static Handle Invalid() { return (Handle)(InvalidValue); }


 public:
  UniqueAny() = default;
  explicit UniqueAny(Handle handle) : handle_(handle) {}
  ~UniqueAny() { reset(); }
  UniqueAny(UniqueAny&& other) noexcept : handle_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Invalid(); }
  Handle release() { return std::exchange(handle_, Invalid()); }
  void reset(Handle handle = Invalid()) {
    Handle old = std::exchange(handle_, handle);
    if (old != Invalid()) Close(old);
  }

 private:
  Handle handle_ = Invalid();
};

namespace detail {
inline void DeleteGdiObject(HGDIOBJ object) { ::DeleteObject(object); }
inline void CloseKernelHandle(HANDLE handle) { ::CloseHandle(handle); }
inline void DestroyMenuHandle(HMENU menu) { ::DestroyMenu(menu); }
inline void DestroyWindowHandle(HWND window) { ::DestroyWindow(window); }
inline void FreeGlobal(HGLOBAL block) { ::GlobalFree(block); }
inline void DestroyHeapHandle(HANDLE heap) { ::HeapDestroy(heap); }
template <typename T>
void DeleteGdi(T object) { ::DeleteObject(object); }
}  // namespace detail

using UniqueFont = UniqueAny<HFONT, detail::DeleteGdi<HFONT>>;
using UniqueBrush = UniqueAny<HBRUSH, detail::DeleteGdi<HBRUSH>>;
using UniqueRegion = UniqueAny<HRGN, detail::DeleteGdi<HRGN>>;
using UniqueBitmap = UniqueAny<HBITMAP, detail::DeleteGdi<HBITMAP>>;
using UniquePen = UniqueAny<HPEN, detail::DeleteGdi<HPEN>>;
using UniqueHandle = UniqueAny<HANDLE, detail::CloseKernelHandle>;
using UniqueFile = UniqueAny<HANDLE, detail::CloseKernelHandle, -1>;
using UniqueMenu = UniqueAny<HMENU, detail::DestroyMenuHandle>;
using UniqueWindow = UniqueAny<HWND, detail::DestroyWindowHandle>;
using UniqueGlobal = UniqueAny<HGLOBAL, detail::FreeGlobal>;
using UniqueHeap = UniqueAny<HANDLE, detail::DestroyHeapHandle>;

// Selects an object into a device context and puts the previous one back.
class SelectObjectGuard {
 public:
  SelectObjectGuard(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ~SelectObjectGuard() {
    if (previous_ && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
  }
  SelectObjectGuard(const SelectObjectGuard&) = delete;
  SelectObjectGuard& operator=(const SelectObjectGuard&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// Runs a function when the scope ends, for one-off cleanup.
template <typename Function>
class ScopeExit {
 public:
  explicit ScopeExit(Function function) : function_(std::move(function)) {}
  ~ScopeExit() { function_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Function function_;
};

}  // namespace vnscope
