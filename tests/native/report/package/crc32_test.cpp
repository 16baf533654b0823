#include "report/package/crc32.h"

#include <gtest/gtest.h>

#include <string_view>

namespace vnscope {
namespace {

struct CrcCase {
  std::string_view bytes;
  uint32_t crc;
};

TEST(Crc32, MatchesTheZipAndPngChecksum) {
  const CrcCase cases[] = {
      {"abc", 0x352441C2u},        // the report package's worked example
      {"123456789", 0xCBF43926u},  // the published CRC-32 check value
      {"", 0x00000000u},           // complement of the untouched start value
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Crc32(c.bytes.data(), c.bytes.size()), c.crc) << c.bytes;
  }
}

}  // namespace
}  // namespace vnscope
