// The preview monitor (dialog 105): fixed size, placed by its template.
#include "host/monitor_window.h"
#include "monitors/monitor_dialogs.h"

namespace vnscope {

INT_PTR CALLBACK PreviewDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  HandleSharedMonitorMessage(dialog, message, wparam, lparam);
  return 0;
}

}  // namespace vnscope
