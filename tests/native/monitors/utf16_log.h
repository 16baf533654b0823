// Execution log contents as the engine writes them: UTF-16LE bytes.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace vnscope::test {

inline std::vector<uint8_t> Utf16Le(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return bytes;
}

}  // namespace vnscope::test
