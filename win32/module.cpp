#include "win32/module.h"

#include <commctrl.h>

namespace vnscope {
namespace {

struct ModuleState {
  HINSTANCE instance = nullptr;
  HANDLE activationContext = INVALID_HANDLE_VALUE;
  bool contextTried = false;
  bool controlsInitialised = false;

  // The engine may unload and load the library again; each load makes its
  // own context, so each unload gives its one back.
  ~ModuleState() {
    if (activationContext != INVALID_HANDLE_VALUE) ReleaseActCtx(activationContext);
  }
};

ModuleState& State() {
  static ModuleState state;
  return state;
}

// The manifest is resource 2 of type RT_MANIFEST in the library.
HANDLE ModuleActivationContext() {
  ModuleState& state = State();
  if (!state.contextTried) {
    state.contextTried = true;
    ACTCTXW context{};
    context.cbSize = sizeof(context);
    context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.hModule = state.instance;
    context.lpResourceName = MAKEINTRESOURCEW(2);
    state.activationContext = CreateActCtxW(&context);
  }
  return state.activationContext;
}

}  // namespace

HINSTANCE ModuleInstance() { return State().instance; }

void SetModuleInstance(HINSTANCE instance) { State().instance = instance; }

ScopedModuleContext::ScopedModuleContext() {
  HANDLE context = ModuleActivationContext();
  if (context != INVALID_HANDLE_VALUE) active_ = ActivateActCtx(context, &cookie_) != FALSE;
  ModuleState& state = State();
  if (!state.controlsInitialised) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES |
                                                        ICC_STANDARD_CLASSES};
    state.controlsInitialised = InitCommonControlsEx(&controls) != FALSE;
  }
}

ScopedModuleContext::~ScopedModuleContext() {
  if (active_) DeactivateActCtx(0, cookie_);
}

}  // namespace vnscope
