// The thumbnail format: 24-bit uncompressed BMP with bottom-up rows, encoded
// in memory from the engine's 32-bit pixels.
#pragma once
#include <cstdint>
#include <vector>

namespace vnscope {

constexpr uint32_t kBmpHeaderBytes = 54;  // file header 14 + information header 40

// Bytes of one stored row: three per pixel, padded to a multiple of 4.
// `width` must not be negative. In 64 bits: from width 0x55555555 on, three
// bytes a pixel no longer fit 32 bits, and a wrapped stride would be tiny.
constexpr uint64_t Bmp24Stride(int32_t width) { return (uint64_t{static_cast<uint32_t>(width)} * 3 + 3) & ~uint64_t{3}; }

// Encodes `height` rows of `width` B, G, R, X pixels (4 bytes each, rows
// packed without padding, the first row being the picture's bottom row) as a
// complete BMP file: headers, then rows of B, G, R bytes padded with zeros.
// A size of 0 gives the 54 header bytes alone. Returns false, leaving `file`
// empty, for negative sizes, for sizes whose byte counts do not fit the
// format's 32-bit fields or this process's memory, and when memory runs out.
bool EncodeBmp24(int32_t width, int32_t height, const uint8_t* pixels, std::vector<uint8_t>* file);

}  // namespace vnscope
