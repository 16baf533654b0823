// The demo engine's script variables and database: announced to the variable
// list and database monitors at start, changed as the game runs.
#pragma once
#include <windows.h>

#include <string>

#include "include/vnscope.h"

namespace demo {

// Announces a few hundred variables in both scopes with their register map,
// and loads a database with private and common tables.
void StartVariablesFeed(const MonitorSet& monitors);

// Called on every animation frame: now and then a value changes, and the
// database is refreshed after its values changed in place.
void TickVariablesFeed(const MonitorSet& monitors, int frame);

// A line for the engine's log when `data` is a VariableEdited from the
// variable list (typed text and the variable's name); empty otherwise.
std::wstring DescribeVariableEdited(const MonitorSet& monitors, HWND sender, const COPYDATASTRUCT& data);

}  // namespace demo
