// Hands a report's snapshot to an image editor through a temporary file.
#pragma once
#include <windows.h>

#include <cstdint>
#include <span>

namespace vnscope {

// Writes the PNG to a unique temporary file (prefix "ss", ".png" appended)
// and starts the program "photoshop" with the file's path, else the shell's
// "edit" verb on the file. After a launch it waits up to `idleWaitMs` for the
// editor to become idle for input, so a single-instance editor has started
// before it is handed the next file. The file stays for the editor; it is
// deleted when nothing could be launched or it could not be written whole.
// True when an editor was started.
bool OpenSnapshotInEditor(std::span<const uint8_t> png, DWORD idleWaitMs);

}  // namespace vnscope
