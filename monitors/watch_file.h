// The watch list's file, one per engine executable:
// %LOCALAPPDATA%\vnscope\watch\<executable file name>.txt, UTF-8, one full
// name a line (FormatWatchFile).
#pragma once
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vnscope {

// The file's path for the running executable; empty when LOCALAPPDATA is
// not set.
std::wstring WatchFilePath();

// The names in the file; an empty list when there is no file yet. None when
// there is no path or the file cannot be read (or is over
// kMaxWatchFileBytes): the caller keeps the list it has.
std::optional<std::vector<std::u16string>> ReadWatchFile();

// Writes the whole list, making the folders on the way; false on failure.
bool WriteWatchFile(std::span<const std::u16string> names);

}  // namespace vnscope
