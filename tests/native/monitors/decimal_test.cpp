#include "monitors/decimal.h"

#include <gtest/gtest.h>

namespace vnscope {
namespace {

struct DecimalCase {
  std::u16string_view text;
  int32_t expected;
};

// Expected values follow wcstol clamped to 32 bits.
TEST(ParseDecimal, ReadsLikeWcstol) {
  const DecimalCase cases[] = {
      {u"42", 42},
      {u"-5", -5},
      {u"+7", 7},
      {u"12abc", 12},
      {u"", 0},
      {u"abc", 0},
      {u"-", 0},
      {u"  \t\n 9", 9},
      {u"0012", 12},
      {u"2147483647", 2147483647},
      {u"2147483648", 2147483647},
      {u"-2147483648", -2147483647 - 1},
      {u"-2147483649", -2147483647 - 1},
      {u"99999999999999999999999", 2147483647},
      {u"-99999999999999999999999", -2147483647 - 1},
      {std::u16string_view(u"3\0" u"4", 3), 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseDecimal(c.text), c.expected)
        << std::string(c.text.begin(), c.text.end());
  }
}

}  // namespace
}  // namespace vnscope
