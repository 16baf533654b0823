// The library's module: its instance handle (recorded by the entry point) and
// the activation context that gives its windows the version 6 common controls.
#pragma once
#include <windows.h>

namespace vnscope {

HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

// Activates the manifest embedded in the library for the current scope, so
// that dialogs created inside it use the version 6 common controls whatever
// the engine's own manifest says. Does nothing when the context is missing.
class ScopedModuleContext {
 public:
  ScopedModuleContext();
  ~ScopedModuleContext();
  ScopedModuleContext(const ScopedModuleContext&) = delete;
  ScopedModuleContext& operator=(const ScopedModuleContext&) = delete;

 private:
  ULONG_PTR cookie_ = 0;
  bool active_ = false;
};

}  // namespace vnscope
