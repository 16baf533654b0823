// The execution log monitor (dialog 104).
#include "host/monitor_window.h"
#include "monitors/monitor_dialogs.h"
#include "resources/resource.h"

namespace vnscope {
namespace {

constexpr int kWindowHeight = 200;

// Directly under a game window whose client area starts at the screen's origin.
void OnInitDialog(HWND dialog) {
  RECT client{};
  GetClientRect(MonitorOwner(dialog), &client);
  MoveWindow(dialog, 0, client.bottom, client.right - client.left, kWindowHeight, TRUE);
}

void OnSize(HWND dialog, LPARAM lparam) {
  MoveControl(dialog, IDC_LOG_TEXT, 0, 0, SizeWidth(lparam), SizeHeight(lparam));
}

}  // namespace

INT_PTR CALLBACK ExecutionLogDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: OnInitDialog(dialog); break;
    case WM_SIZE: OnSize(dialog, lparam); break;
    default: HandleSharedMonitorMessage(dialog, message, wparam, lparam); break;
  }
  return 0;
}

}  // namespace vnscope
