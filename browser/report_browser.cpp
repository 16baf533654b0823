#include "browser/report_browser.h"

#include "resources/resource.h"
#include "win32/module.h"

namespace vnscope {
namespace {

// A close request hides the browser; the report dialog shows it again.
void OnClose(HWND dialog) { ShowWindow(dialog, SW_HIDE); }

INT_PTR CALLBACK ReportBrowserProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: return FALSE;
    case WM_CLOSE: OnClose(dialog); return TRUE;
    default: return FALSE;
  }
}

}  // namespace

HWND CreateReportBrowser(HWND owner) {
  return CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_REPORT_BROWSER), owner,
                            ReportBrowserProc, 0);
}

}  // namespace vnscope
