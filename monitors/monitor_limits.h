// Limits of the variable and database monitors, each with its reason.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vnscope {

// Longest text a variable list cell shows: the cell buffer the list view
// offers is 260 units with the terminator. A collapsed group's value list is
// built only up to this length, so a huge group costs no more than a small one.
inline constexpr size_t kMaxVariableCellText = 259;

// Values the variable list remembers for each variable's tooltip, newest
// first: enough to see a counter step or a flag flip back and forth, while
// 100,000 variables that all change cost a few megabytes at most.
inline constexpr size_t kValueHistoryDepth = 8;

// How long a value the engine changed stays highlighted, in milliseconds:
// long enough to look over from the game window, short enough that the
// yellow rows are the last line of script's work.
inline constexpr uint64_t kChangeHighlightMs = 5000;

// Largest watch file read. A tester pins a handful of variables, a
// thousand at the very most; 16 MiB holds every name of a 100,000-variable
// script many times over, so a larger file is not the monitor's own and is
// not read (the list starts empty and the file is replaced only when the
// tester changes the list).
inline constexpr uint64_t kMaxWatchFileBytes = 16u << 20;

// Longest text the database grid shows (titles, headings, cells). A longer
// text is shown empty rather than cut, so a cut value is never mistaken for
// the real one.
inline constexpr size_t kMaxDatabaseCellText = 255;

// UTF-8 bytes read from the engine for one grid text. Each UTF-16 unit takes
// at least one and at most three bytes (a four-byte sequence gives two units),
// so any text longer than this cannot fit in kMaxDatabaseCellText units and
// is shown empty without reading further.
inline constexpr size_t kMaxDatabaseCellBytes = kMaxDatabaseCellText * 3;

// UTF-8 bytes read for a key or a selector entry part. Script databases name
// their tables with short words; a key this long is treated as unreadable.
inline constexpr size_t kMaxDatabaseKeyBytes = 64 * 1024;

// Most cells one table shows in the database grid, the row headings
// included. Script tables reach tens of thousands of rows (20 columns x
// 60,000 rows is 1.26 million cells) and show whole below this; a larger
// table shows its first rows up to here and a last line saying it was cut.
// The list view takes several microseconds for each text under Wine, so a
// table this large holds the engine for seconds when it is picked, and
// the grid and the monitor's copy of the texts take about 100 bytes a
// cell in a 32-bit process.
inline constexpr size_t kMaxDatabaseGridCells = size_t{1} << 21;

// Most columns the database grid shows. The list view's header takes longer
// for each column added after many; real tables have a few dozen.
inline constexpr size_t kMaxDatabaseGridColumns = 1024;

// Node reads allowed for one database operation (listing the tables, laying
// out a table, reading its cells), a few hundred milliseconds. Chains end
// where they would repeat a node whatever their length, and a table within
// the grid's bounds needs at most three reads a cell; this bound only stops
// trees whose chains share nodes so that a small tree reads as an endless
// one. A table whose walk reaches it shows what was read and the line saying
// it was cut.
inline constexpr size_t kMaxDatabaseNodeReads = 4 * kMaxDatabaseGridCells;

}  // namespace vnscope
