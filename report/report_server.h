// Where reports go: the server the send flow and the outbox's sender both
// use, the build's (or vnscope.ini's) unless a test points them elsewhere.
#pragma once
#include "report/protocol/server_settings.h"

namespace vnscope {

// The endpoint in force. Safe from any thread: the outbox's sender reads it
// while the dialog may be sending.
ServerEndpoint ReportServerEndpoint();

// Tests that link the library directly point reports at a server of their
// own; the DLL never calls it.
void SetReportServer(const ServerEndpoint& server);

}  // namespace vnscope
