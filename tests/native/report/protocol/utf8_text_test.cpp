#include "report/protocol/utf8_text.h"

#include <gtest/gtest.h>

#include <string>

namespace vnscope {
namespace {

// Worked examples: one to four bytes a character, and a surrogate without its
// partner as U+FFFD (EF BF BD). The size counted without encoding must agree.
TEST(Utf8Text, EncodesAndCountsEveryLength) {
  const struct {
    std::u16string text;
    std::string utf8;
  } cases[] = {
      {u"", ""},
      {u"a\u00E9", "a\xC3\xA9"},
      {u"起動", "\xE8\xB5\xB7\xE5\x8B\x95"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      {std::u16string(1, u'\xD800') + u"x", "\xEF\xBF\xBDx"},
      {u"x" + std::u16string(1, u'\xDC00'), "x\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeUtf8(c.text), c.utf8);
    EXPECT_EQ(EncodedUtf8Size(c.text), c.utf8.size());
    if (c.utf8.find("\xEF\xBF\xBD") == std::string::npos) {
      EXPECT_EQ(DecodeUtf8(c.utf8), c.text);
    }
  }
}

TEST(Utf8Text, RefusesWhatIsNotWellFormed) {
  for (const char* bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE8\xB5", "\x80", "\xFF"}) {
    EXPECT_FALSE(DecodeUtf8(bad).has_value()) << testing::PrintToString(std::string(bad));
  }
}

}  // namespace
}  // namespace vnscope
