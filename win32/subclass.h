// Replaces a control's window procedure and puts the previous one back, so
// that no control is left pointing at our code once its window goes away.
#pragma once
#include <windows.h>

namespace vnscope {

class Subclass {
 public:
  Subclass() = default;
  ~Subclass() { Restore(); }
  Subclass(const Subclass&) = delete;
  Subclass& operator=(const Subclass&) = delete;

  // Installs `procedure` on `control`, remembering the procedure it had.
  // Returns false when the control is missing or already subclassed here.
  bool Install(HWND control, WNDPROC procedure);
  // Puts the saved procedure back when it is still installed by us.
  void Restore();
  // Calls the saved procedure; DefWindowProc when there is none.
  LRESULT CallPrevious(HWND window, UINT message, WPARAM wparam, LPARAM lparam) const;

  HWND control() const { return control_; }
  bool installed() const { return previous_ != nullptr; }

 private:
  HWND control_ = nullptr;
  WNDPROC previous_ = nullptr;
};

}  // namespace vnscope
