// "この状態を再現": a report's game state, fetched by the browser's worker,
// put into the running game on the interface thread.
#pragma once
#include <windows.h>

#include <cstdint>
#include <span>
#include <vector>

#include "report/state/running_game.h"

namespace vnscope {

// With the report's "variables.csv" and "gamestate.txt" (`entries`, in that
// order; `fetched` false when they did not come): asks the tester whether to
// write the variables whose values differ and jump to the report's label,
// and on Yes does both as the variable list's editor and the panel's JUMP
// do. Entries that did not come or do not read show the failure message.
// Every box is owned by `browser`.
void RestoreReportedState(HWND browser, RunningGame* game, bool fetched,
                          const std::vector<std::vector<uint8_t>>& entries);

}  // namespace vnscope
