// The report preview (dialog 112): the text of one report on the report
// server, fetched when the browser asks for it by name.
#pragma once
#include <windows.h>

#include "report/protocol/report_client.h"

namespace vnscope {

// Creates the preview hidden, owned by `owner` (the report browser), fetching
// from `server`. Null when the dialog cannot be created.
//
// Requests: WM_COPYDATA with dwData 0 and the report name in the system ANSI
// code page as data, read up to its 0 byte but never past cbData. The text
// is fetched at once (the sender waits) and replaces the upper edit's; a
// failed fetch leaves the old text and says so in a message box.
HWND CreateReportPreview(HWND owner, const ServerEndpoint& server);

}  // namespace vnscope
