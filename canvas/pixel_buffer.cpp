#include "canvas/pixel_buffer.h"

#include <cstddef>
#include <cstdlib>
#include <utility>

namespace vnscope {

PixelBuffer::~PixelBuffer() { ReleasePixelBuffer(this); }

PixelBuffer::PixelBuffer(PixelBuffer&& other) noexcept
    : width(std::exchange(other.width, 0)),
      height(std::exchange(other.height, 0)),
      bitsPerPixel(std::exchange(other.bitsPerPixel, 0)),
      pixels(std::exchange(other.pixels, nullptr)) {}

PixelBuffer& PixelBuffer::operator=(PixelBuffer&& other) noexcept {
  if (this != &other) {
    ReleasePixelBuffer(this);
    width = std::exchange(other.width, 0);
    height = std::exchange(other.height, 0);
    bitsPerPixel = std::exchange(other.bitsPerPixel, 0);
    pixels = std::exchange(other.pixels, nullptr);
  }
  return *this;
}

uint32_t PixelBuffer::RowBytes() const {
  return uint32_t{width} * ((bitsPerPixel >> 3) & 31u);
}

bool CreatePixelBuffer(uint8_t bitsPerPixel, uint16_t height, uint16_t width, PixelBuffer* buffer) {
  if (buffer == nullptr || buffer->pixels != nullptr) return false;
  buffer->width = width;
  buffer->height = height;
  buffer->bitsPerPixel = bitsPerPixel;
  // Up to 65535 x 31 x 65535 bytes: more than a 32-bit size_t holds.
  const uint64_t bytes = uint64_t{buffer->RowBytes()} * height;
  // An empty picture still gets a block, so that success always means pixels.
  const auto size = static_cast<size_t>(bytes);
  void* block = size == bytes ? std::malloc(size > 0 ? size : 1) : nullptr;
  if (block == nullptr) {
    buffer->width = 0;
    buffer->height = 0;
    buffer->bitsPerPixel = 0;
    return false;
  }
  buffer->pixels = static_cast<uint8_t*>(block);
  return true;
}

void ReleasePixelBuffer(PixelBuffer* buffer) {
  if (buffer == nullptr) return;
  std::free(buffer->pixels);
  buffer->pixels = nullptr;
  buffer->width = 0;
  buffer->height = 0;
  buffer->bitsPerPixel = 0;
}

}  // namespace vnscope
