// The game's state as a report carries it: the bytes of "variables.csv",
// "gamestate.txt" and "executionlog.txt", built from what the monitors hold
// when the report is sent. Platform-free; the report dialog gathers the
// values (game_state_reading in report/) and the composer adds the entries.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vnscope {

// One entry of the variable list's table, as the running game holds it.
struct GameVariable {
  std::u16string name;  // full name, sigil included
  int32_t value = 0;
  int32_t registerNumber = -1;  // -1: bound to none
};

// The lines of "gamestate.txt", in the order they are written. Every value
// is what the DLL read, as UTF-16; empty values stay empty.
struct GameStateFacts {
  std::u16string label;  // the panel's current label, as the report header shows it
  std::u16string voice;
  std::u16string bgs;
  std::u16string bgv;
  std::u16string vnscope;   // the DLL's version
  std::u16string engine;    // executable file name, then " a.b.c.d" when it has a version
  std::u16string windows;   // major.minor.build
  std::u16string codepage;  // the ANSI code page, decimal
  std::u16string screen;    // WIDTHxHEIGHT
  std::u16string time;      // FormatLocalTime
};

// The three entries of one report; empty vectors until built.
struct GameStateEntries {
  std::vector<uint8_t> variables;
  std::vector<uint8_t> gameState;
  std::vector<uint8_t> executionLog;
};

// "variables.csv": a UTF-8 byte-order mark, the line "index,name,value,register",
// then one line per variable in table order: its position, its name, its value
// and its register (empty when none). A name holding a comma, a double quote,
// CR or LF is quoted, inner quotes doubled. Every line ends with CRLF.
std::vector<uint8_t> VariablesEntry(std::span<const GameVariable> variables);

// "gamestate.txt": UTF-8 without a byte-order mark, one "key: value" line per
// fact, each ended by CRLF. A CR or LF inside a value would end its line
// early and hide the keys after it, so each becomes a space.
std::vector<uint8_t> GameStateEntry(const GameStateFacts& facts);

// "executionlog.txt": the longest tail of the log window's text that starts
// at a line start (the text's start, or just after an LF) and fits in
// limits::kMaxExecutionLogEntry bytes of UTF-8. Empty when there is no log,
// and when the last line alone is longer than that.
std::vector<uint8_t> ExecutionLogEntry(std::u16string_view logText);

// Local time as "YYYY-MM-DDTHH:MM:SS+HH:MM", the offset from UTC signed.
struct LocalTimeStamp {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0;
  int offsetMinutes = 0;  // local time minus UTC
};
std::u16string FormatLocalTime(const LocalTimeStamp& time);

// A number in decimal, as the entries write numbers: "-7", "932".
std::u16string DecimalText(int64_t value);

// Numbers joined by dots: "10.0.19045", "1.2.3.4".
std::u16string DottedNumbers(std::initializer_list<uint32_t> parts);

}  // namespace vnscope
