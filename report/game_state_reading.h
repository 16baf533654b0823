// The game's state at the moment a report is sent, read from the monitors
// the way the report reads everything of theirs: the variables through the
// running game, the panel's fields and the log window's text through their
// windows. Never from the engine's memory again.
#pragma once
#include "include/vnscope.h"
#include "report/state/game_state_entries.h"
#include "report/state/running_game.h"

namespace vnscope {

// The three entries: "variables.csv" from `game` (none: the first line
// alone), "gamestate.txt" from the panel and this machine, "executionlog.txt"
// from the log window. A missing monitor leaves its values empty.
GameStateEntries ReadGameState(const MonitorSet* monitors, const RunningGame* game);

}  // namespace vnscope
