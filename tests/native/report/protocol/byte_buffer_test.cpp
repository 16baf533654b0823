#include "report/protocol/byte_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

namespace vnscope {
namespace {

struct EnsureStep {
  uint32_t ensure;
  uint32_t capacity;
};

// Ensure n keeps the block while n fits and otherwise grows it to 2 x n; the
// requested size is always the last n.
TEST(ByteBuffer, EnsureDoublesTheSizeAskedFor) {
  const EnsureStep steps[] = {{10, 20}, {20, 20}, {5, 20}, {21, 42}, {0, 42}};
  ByteBuffer buffer;
  for (const auto& step : steps) {
    ASSERT_TRUE(buffer.Ensure(step.ensure)) << step.ensure;
    EXPECT_EQ(buffer.RequestedSize(), step.ensure);
    EXPECT_EQ(buffer.Capacity(), step.capacity) << step.ensure;
    EXPECT_EQ(buffer.WritePosition(), 0u);
  }
  ByteBuffer empty;
  EXPECT_TRUE(empty.Ensure(0));
  EXPECT_EQ(empty.Data(), nullptr) << "nothing to hold, nothing allocated";
}

TEST(ByteBuffer, AppendKeepsEveryByteAcrossGrowth) {
  ByteBuffer buffer;
  const uint8_t first[] = {1, 2, 3};
  const uint8_t second[] = {4, 5, 6, 7, 8, 9, 10};
  ASSERT_TRUE(buffer.Append(first, sizeof first));
  EXPECT_EQ(buffer.Capacity(), 6u);  // 2 x 3
  ASSERT_TRUE(buffer.Append(second, sizeof second));
  EXPECT_EQ(buffer.Capacity(), 20u);  // 2 x (3 + 7)
  EXPECT_EQ(buffer.WritePosition(), 10u);
  EXPECT_EQ(buffer.RequestedSize(), 10u);
  const uint8_t expected[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(std::memcmp(buffer.Data(), expected, sizeof expected), 0);
}

TEST(ByteBuffer, ReuseKeepsTheBlockAndReleaseFreesIt) {
  ByteBuffer buffer;
  const uint8_t bytes[] = {7, 7, 7, 7};
  ASSERT_TRUE(buffer.Append(bytes, sizeof bytes));
  const uint8_t* block = buffer.Data();
  buffer.Reuse();
  EXPECT_EQ(buffer.RequestedSize(), 0u);
  EXPECT_EQ(buffer.WritePosition(), 0u);
  EXPECT_EQ(buffer.Capacity(), 8u);
  ASSERT_TRUE(buffer.Append(bytes, 1));
  EXPECT_EQ(buffer.Data(), block) << "fits: no reallocation";

  ByteBuffer moved(std::move(buffer));
  EXPECT_EQ(moved.Data(), block);
  EXPECT_EQ(buffer.Data(), nullptr);  // the moved-from buffer owns nothing
  moved.Release();
  EXPECT_EQ(moved.Data(), nullptr);
  EXPECT_EQ(moved.Capacity() + moved.RequestedSize() + moved.WritePosition(), 0u);
}

struct OverflowCase {
  const char* why;
  uint32_t filled;  // bytes appended first
  uint32_t ensure;  // 0: append `append` bytes instead
  uint32_t append;
};

// Requests whose arithmetic passes 32 bits are refused, never wrapped to a
// small block, and empty the buffer as any failed growth does. None of them
// allocates, so none depends on the machine's memory.
TEST(ByteBuffer, RefusesSizesWhoseArithmeticOverflows) {
  const OverflowCase cases[] = {
      {"2 x n would pass 4 GiB", 0, 0x80000000u, 0},
      {"largest request", 16, 0xFFFFFFFFu, 0},
      {"append past 2 GiB", 16, 0, 0x7FFFFFF0u},
      {"position + k wraps", 16, 0, 0xFFFFFFF5u},
  };
  for (const auto& c : cases) {
    ByteBuffer buffer;
    uint8_t bytes[16] = {};
    ASSERT_TRUE(buffer.Append(bytes, c.filled));
    // The length is refused before any byte is read.
    const bool ok = c.ensure != 0 ? buffer.Ensure(c.ensure) : buffer.Append(bytes, c.append);
    EXPECT_FALSE(ok) << c.why;
    EXPECT_EQ(buffer.Data(), nullptr) << c.why;
    EXPECT_EQ(buffer.Capacity() + buffer.RequestedSize() + buffer.WritePosition(), 0u) << c.why;
  }
}

}  // namespace
}  // namespace vnscope
