// The report browser (dialog 108): the server's reports by tab, with a
// preview, snapshots opened in an image editor and state changes.
#pragma once
#include <windows.h>

#include <cstdint>

#include "report/protocol/limits.h"
#include "report/protocol/report_client.h"
#include "report/state/running_game.h"

namespace vnscope {

// Creates the browser hidden, owned by `owner` (the report dialog), and
// starts fetching the report list at once. `game` is what "この状態を再現"
// restores a report's state into; without one the command does nothing.
// Null when the dialog cannot be created.
HWND CreateReportBrowser(HWND owner, RunningGame* game = nullptr);

// What a browser created from now on talks to. The defaults are the build's
// server and the library's limit; tests point them elsewhere.
struct ReportBrowserSettings {
  ServerEndpoint server = BuildServerEndpoint();
  uint32_t editorIdleWaitMs = limits::kEditorIdleWaitMs;
};
void SetReportBrowserSettings(const ReportBrowserSettings& settings);

// The popup menu commands of the list.
enum ReportBrowserCommand : int {
  kOpenReport = 30000,             // "開く"
  kOpenSnapshots = 30001,          // "スナップショットを開く"
  kRequestRefix = 30002,           // "状態を[再修正依頼]にする"
  kMarkFixed = 30003,              // "状態を[修正済み]にする"
  kMarkConfirmed = 30004,          // "状態を[完了(修正確認済み)]にする"
  kMarkNoProblem = 30005,          // "状態を[問題なし]にする"
  kRestoreState = 30006,           // "この状態を再現"
};

}  // namespace vnscope
