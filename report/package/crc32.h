// CRC-32 as ZIP and PNG define it (reflected polynomial 0xEDB88320).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace vnscope {

// The 256-entry lookup table, built on first use (thread-safe) and kept for the
// life of the library.
const std::array<uint32_t, 256>& Crc32Table();

// CRC-32 of `length` bytes: start at 0xFFFFFFFF, fold in each byte through the
// table, complement the result. The CRC of no bytes is 0.
uint32_t Crc32(const void* data, size_t length);

}  // namespace vnscope
