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

// Subclassing that keeps the previous procedure in a window property of the
// control itself rather than in module state, for controls a window finds
// at run time (a combo box's edit field). The procedure installed must call
// `CallPropertyPrevious` for what it does not handle and `RemovePropertySubclass`
// when the control is destroyed (the control's own WM_NCDESTROY then still
// reaches its original procedure).
bool InstallPropertySubclass(HWND control, WNDPROC procedure, const wchar_t* property);
LRESULT CallPropertyPrevious(HWND control, const wchar_t* property, UINT message, WPARAM wparam, LPARAM lparam);
// Puts the stored procedure back and removes the property.
void RemovePropertySubclass(HWND control, const wchar_t* property);

}  // namespace vnscope
