// The variable list monitor (dialog 101).
#include "host/monitor_window.h"
#include "monitors/monitor_dialogs.h"
#include "resources/resource.h"

namespace vnscope {
namespace {

constexpr int kWindowWidth = 250;

void OnInitDialog(HWND dialog) { PlaceBesideOwner(dialog, kWindowWidth); }

// The list fills the client area; the hidden value editor keeps its place.
void OnSize(HWND dialog, LPARAM lparam) {
  MoveControl(dialog, IDC_VARIABLE_LIST, 0, 0, SizeWidth(lparam), SizeHeight(lparam));
}

}  // namespace

INT_PTR CALLBACK VariableListDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: OnInitDialog(dialog); break;
    case WM_SIZE: OnSize(dialog, lparam); break;
    default: HandleSharedMonitorMessage(dialog, message, wparam, lparam); break;
  }
  return 0;
}

}  // namespace vnscope
