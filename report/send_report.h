// The send flow of the debug report: the send confirmation (dialog 111), the
// package, and its submission to the report server.
#pragma once
#include <windows.h>

#include <string>

#include "canvas/pixel_buffer.h"
#include "include/vnscope.h"
#include "report/report_composer.h"
#include "report/state/running_game.h"

namespace vnscope {

// What the send flow reads of the report dialog and the engine's monitors.
struct ReportSendSources {
  HWND dialog = nullptr;      // owner of the confirmation and of every message
  HWND headerEdit = nullptr;
  HWND reportEdit = nullptr;
  PixelBuffer* snapshot = nullptr;  // flattened in place when the snapshot is sent
  HWND objectList = nullptr;  // list view 1003 of the object list monitor
  std::string reportId;       // the dialog's; empty: the package carries none
  const MonitorSet* monitors = nullptr;  // the panel and the log, for the game state
  const RunningGame* game = nullptr;     // the variables, for the game state
};

// Asks for the title and what to send, builds the package and submits it to
// ReportServerEndpoint(), telling the tester the outcome in a message box.
// True only when the server answered 0 (stored); a cancelled confirmation is
// false without a message. A package that got no answer at all goes to the
// outbox, to be sent later; a refused one does not.
bool SendReport(const ReportSendSources& sources);

// The tester's last confirmed choice; kept until the next confirmation.
const SendChoice& LastSendChoice();

}  // namespace vnscope
