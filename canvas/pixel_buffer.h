// The 32-bit image buffer that carries the game screenshot from the report
// dialog into the canvas and the annotated picture back out to the PNG writer.
#pragma once
#include <cstdint>

namespace vnscope {

// Rows top-down without padding; at 32 bits a pixel is the bytes B, G, R, A.
// Owns its pixels: the destructor releases them, and the buffer moves but does
// not copy. The empty state is every field 0 and no pixels.
struct PixelBuffer {
  uint16_t width = 0;
  uint16_t height = 0;
  uint8_t bitsPerPixel = 0;
  uint8_t* pixels = nullptr;

  PixelBuffer() = default;
  ~PixelBuffer();
  PixelBuffer(PixelBuffer&& other) noexcept;
  PixelBuffer& operator=(PixelBuffer&& other) noexcept;
  PixelBuffer(const PixelBuffer&) = delete;
  PixelBuffer& operator=(const PixelBuffer&) = delete;

  // Bytes in one row: width x ((bitsPerPixel >> 3) & 31).
  uint32_t RowBytes() const;
};

// Stores the three sizes and allocates width x ((bitsPerPixel >> 3) & 31) x
// height bytes, contents undefined. False with the buffer untouched when it is
// null or already holds pixels; false with the sizes 0 when the block cannot be
// had (including a size beyond the address space of a 32-bit process).
bool CreatePixelBuffer(uint8_t bitsPerPixel, uint16_t height, uint16_t width, PixelBuffer* buffer);

// Frees the pixels and sets every field to 0. A null buffer is ignored.
void ReleasePixelBuffer(PixelBuffer* buffer);

}  // namespace vnscope
