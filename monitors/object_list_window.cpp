// The object list monitor (dialog 102).
#include "host/monitor_window.h"
#include "monitors/monitor_dialogs.h"
#include "resources/resource.h"

namespace vnscope {
namespace {

constexpr int kWindowWidth = 350;

void OnInitDialog(HWND dialog) { PlaceBesideOwner(dialog, kWindowWidth); }

void OnSize(HWND dialog, LPARAM lparam) {
  MoveControl(dialog, IDC_OBJECT_LIST, 0, 0, SizeWidth(lparam), SizeHeight(lparam));
}

}  // namespace

INT_PTR CALLBACK ObjectListDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: OnInitDialog(dialog); break;
    case WM_SIZE: OnSize(dialog, lparam); break;
    default: HandleSharedMonitorMessage(dialog, message, wparam, lparam); break;
  }
  return 0;
}

}  // namespace vnscope
