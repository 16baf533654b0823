// Every bound of the annotation canvas, with the reason for its value.
#pragma once
#include <cstddef>

namespace vnscope {

// What the edit history may hold. The DLL lives in the game's 32-bit process
// beside the game's own data; 64 MiB keeps thousands of strokes or about seven
// deleted full-HD layers while leaving that address space to the game. The
// oldest steps go first.
inline constexpr size_t kHistoryBytes = size_t{64} * 1024 * 1024;

}  // namespace vnscope
