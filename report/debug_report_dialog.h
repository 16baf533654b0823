// The modal debug report dialog (dialog 106) that DebugReport runs.
#pragma once
#include <windows.h>

#include "include/vnscope.h"
#include "report/state/running_game.h"

namespace vnscope {

// What the report dialog reads while it runs: the engine's monitor set and
// report record, valid for the duration of DebugReport.
struct ReportSession {
  const MonitorSet* monitors = nullptr;
  ReportInfo* info = nullptr;
  // The monitors' variables and actions; none: the report carries no
  // variables and the browser cannot restore a report's state.
  RunningGame* game = nullptr;
};

ReportSession& CurrentReportSession();

// Ends with 0 once a report was sent, with -1 on a close request.
INT_PTR CALLBACK DebugReportDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace vnscope
