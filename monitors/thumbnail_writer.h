// OutputBMP32to24's work: the engine's 32-bit picture saved as a numbered
// 24-bit BMP under "thumbnail\" in the current directory.
#pragma once
#include <cstdint>

namespace vnscope {

// Writes "thumbnail\%05d.bmp" (created or replaced), making the directory
// first. Every failure is quiet, and sizes the format cannot hold write
// nothing: the engine is told of no failure, so the result is always true.
bool WriteThumbnail(int32_t width, int32_t height, const uint8_t* pixels, int32_t index);

}  // namespace vnscope
