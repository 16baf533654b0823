#include "report/debug_report_dialog.h"

namespace vnscope {

ReportSession& CurrentReportSession() {
  static ReportSession session;
  return session;
}

namespace {

// Only a close request ends the dialog without sending; Esc's cancel command
// is ignored like every command the dialog does not know.
void OnClose(HWND dialog) { EndDialog(dialog, -1); }

}  // namespace

INT_PTR CALLBACK DebugReportDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: return FALSE;
    case WM_CLOSE: OnClose(dialog); return TRUE;
    default: return FALSE;
  }
}

}  // namespace vnscope
