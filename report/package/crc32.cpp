#include "report/package/crc32.h"

namespace vnscope {
namespace {

std::array<uint32_t, 256> BuildCrc32Table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t index = 0; index < 256; ++index) {
    uint32_t value = index;
    for (int bit = 0; bit < 8; ++bit) {
      value = (value & 1) != 0 ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    }
    table[index] = value;
  }
  return table;
}

}  // namespace

const std::array<uint32_t, 256>& Crc32Table() {
  // A function-local static is initialised exactly once even when the report
  // browser's worker and the UI thread get here together.
  static const std::array<uint32_t, 256> table = BuildCrc32Table();
  return table;
}

uint32_t Crc32(const void* data, size_t length) {
  const auto& table = Crc32Table();
  const auto* bytes = static_cast<const uint8_t*>(data);
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) {
    crc = (crc >> 8) ^ table[(crc ^ bytes[i]) & 0xFF];
  }
  return ~crc;
}

}  // namespace vnscope
