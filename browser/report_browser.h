// The report browser (dialog 108): the server's reports by tab, with a
// preview, snapshots opened in an image editor and state changes.
#pragma once
#include <windows.h>

namespace vnscope {

// Creates the browser hidden, owned by `owner` (the report dialog). Null when
// the dialog cannot be created.
HWND CreateReportBrowser(HWND owner);

}  // namespace vnscope
