// The names of the report package's entries, shared by the DLL that writes
// them and the server that serves them back one by one.
#pragma once
#include <string_view>

namespace vnscope {

inline constexpr char kVariablesEntry[] = "variables.csv";
inline constexpr char kGameStateEntry[] = "gamestate.txt";
inline constexpr char kExecutionLogEntry[] = "executionlog.txt";

// Every entry a package may hold, in the order the DLL writes them. The
// server hands out these and no other names.
inline constexpr std::string_view kPackageEntryNames[] = {
    "author",       "scriptinfo.txt", "snapshot.png",     "objectlist.csv",
    kVariablesEntry, kGameStateEntry, kExecutionLogEntry, "reportid",
};

inline bool IsPackageEntryName(std::string_view name) {
  for (std::string_view known : kPackageEntryNames) {
    if (known == name) return true;
  }
  return false;
}

}  // namespace vnscope
