// The network work of the report browser, run on the browser worker. A job
// carries everything it needs (the names were read from the list before it
// started) and hands its result back to the browser's thread through a
// posted message: the worker touches neither the report table nor a window.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "report/protocol/report_client.h"
#include "report/protocol/report_summary.h"

namespace vnscope {

enum class BrowserJobKind { ListReports, FetchSnapshots, SetState, FetchGameState };

struct BrowserJob {
  BrowserJobKind kind = BrowserJobKind::ListReports;
  HWND browser = nullptr;  // gets kBrowserJobDone when the result is ready
  ServerEndpoint server;
  DWORD editorIdleWaitMs = 0;          // FetchSnapshots
  // FetchSnapshots, SetState: selected rows in list order; FetchGameState: the one selected
  std::vector<std::u16string> names;
  uint32_t state = 0;                  // SetState
};

struct BrowserJobResult {
  BrowserJobKind kind = BrowserJobKind::ListReports;
  bool succeeded = false;
  // ListReports: the whole list as received (possibly partial on failure).
  // SetState: the reports whose change the server confirmed, with the new
  // state (other fields empty).
  ReportRecords records;
  // FetchGameState: "variables.csv" and "gamestate.txt", when both came.
  std::vector<std::vector<uint8_t>> entries;
};

// Posted to the browser when a result of one of its jobs is waiting.
inline constexpr UINT kBrowserJobDone = WM_APP + 0x108;

// Starts the job on the browser worker. False, with the job dropped, when
// the worker is busy or the thread cannot start.
bool StartBrowserJob(std::unique_ptr<BrowserJob> job);

// The results waiting for `browser`, oldest first; they are removed.
std::vector<BrowserJobResult> TakeBrowserJobResults(HWND browser);

// Forgets the results waiting for `browser` (it is being destroyed).
void DropBrowserJobResults(HWND browser);

}  // namespace vnscope
