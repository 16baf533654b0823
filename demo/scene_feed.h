// The demo engine's scene as the scene monitors see it: its objects, jump
// labels and sounds, an execution log file it writes as it runs, and a
// preview picture that changes.
#pragma once
#include <windows.h>

#include "include/vnscope.h"

namespace demo {

// Fills the monitors once after CreateMonitors: labels, the object table,
// the sounds, the log file's name.
void StartSceneFeed(HWND engine, const MonitorSet& monitors);

// Called on every animation frame: moves objects, rotates the voice, writes
// a log line now and then and sends a new preview picture.
void TickSceneFeed(HWND engine, const MonitorSet& monitors, int frame);

}  // namespace demo
