// Type names, state texts and the clipboard line of the object list.
#include "monitors/object_table.h"

#include <gtest/gtest.h>

namespace vnscope {
namespace {

TEST(ObjectTypeNameTest, NamedCodesAndTheGapsBetweenThem) {
  // The engine's type table: 22 codes, grouped by kind in the high bits.
  const struct {
    int32_t code;
    std::u16string_view name;
  } cases[] = {
      {0, u"OFF"},      {1, u"BG"},         {15, u"FIXED"},    {0x81, u"SIRU"},   {0x91, u"LIQUID"},
      {0xA0, u"BUTTON"}, {0xD0, u"COMPOSITE"}, {0xE0, u"EFFECT"}, {0xFF, u"END"},
      // Gaps and values outside the table.
      {16, u"unknown"}, {0x80, u"unknown"}, {0x82, u"unknown"}, {0x100, u"unknown"}, {-1, u"unknown"},
  };
  for (const auto& c : cases) EXPECT_EQ(ObjectTypeName(c.code), c.name) << c.code;
}

TEST(ObjectStateTextTest, OnlyZeroAndFeHaveTheirOwnText) {
  EXPECT_EQ(ObjectStateText(0), u"表示");
  EXPECT_EQ(ObjectStateText(0xFE), u"生成失敗");
  for (int state : {1, 2, 0x7F, 0xFD, 0xFF}) EXPECT_EQ(ObjectStateText(static_cast<uint8_t>(state)), u"非表示");
}

TEST(ObjectClipboardTextTest, ItemsCarryOnlyNonZeroPositions) {
  const struct {
    const char* why;
    std::vector<ObjectClipboardRow> rows;
    std::u16string_view expected;
  } cases[] = {
      {"no rows", {}, u""},
      {"the four-row example: 0 0 omitted, Y omitted when 0, X kept when only Y is set",
       {{u"bg01", u"0", u"0"}, {u"chara", u"120", u"0"}, {u"face", u"0", u"8"}, {u"logo", u"", u""}},
       u"\"bg01\",\"chara,120\",\"face,0,8\",\"logo\""},
      {"negative X without Y", {{u"chara", u"-32", u"0"}}, u"\"chara,-32\""},
      {"quotes and commas in names are not escaped", {{u"a\"b,c", u"", u""}}, u"\"a\"b,c\""},
  };
  for (const auto& c : cases) EXPECT_EQ(ObjectClipboardText(c.rows), c.expected) << c.why;
}

TEST(ObjectClipboardTextTest, LongNamesAreCutTo255Units) {
  const std::u16string name(300, u'名');
  EXPECT_EQ(ObjectClipboardText({{name, u"", u""}}), u"\"" + std::u16string(255, u'名') + u"\"");
}

}  // namespace
}  // namespace vnscope
