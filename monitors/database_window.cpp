// The database monitor (dialog 113).
#include "host/monitor_window.h"
#include "monitors/monitor_dialogs.h"
#include "resources/resource.h"

namespace vnscope {
namespace {

constexpr int kWindowWidth = 320;
constexpr int kSelectorHeight = 20;

// Down the left edge of the desktop work area.
void OnInitDialog(HWND dialog) {
  RECT work;
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) return;
  MoveWindow(dialog, work.left, work.top, kWindowWidth, work.bottom - work.top, TRUE);
}

void OnSize(HWND dialog, LPARAM lparam) {
  const int w = SizeWidth(lparam);
  MoveControl(dialog, IDC_TABLE_SELECTOR, 0, 0, w, kSelectorHeight);
  MoveControl(dialog, IDC_TABLE_GRID, 0, kSelectorHeight, w, SizeHeight(lparam) - kSelectorHeight);
}

}  // namespace

INT_PTR CALLBACK DatabaseDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: OnInitDialog(dialog); break;
    case WM_SIZE: OnSize(dialog, lparam); break;
    default: HandleSharedMonitorMessage(dialog, message, wparam, lparam); break;
  }
  return 0;
}

}  // namespace vnscope
