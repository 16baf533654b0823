#include "report/report_text.h"

#include <gtest/gtest.h>

#include <string>

namespace vnscope {
namespace {

// Stands in for code page 932 where only byte counts matter: ASCII is one
// byte, every other unit two (as the kana and kanji of the tests are).
class DoubleByteWidthCodec final : public TextCodec {
 public:
  std::string FromUtf16(std::u16string_view text) const override {
    std::string out;
    for (char16_t unit : text) out.append(unit < 0x80 ? 1 : 2, unit < 0x80 ? static_cast<char>(unit) : '#');
    return out;
  }
  std::u16string ToUtf16(std::string_view text) const override { return std::u16string(text.begin(), text.end()); }
};

const Latin1Codec kLatin1;
const DoubleByteWidthCodec kDoubleByte;

constexpr char kHash[] = "0123456789abcdef0123456789ABCDEF";

struct HeaderCase {
  const char* why;
  std::string hash;
  std::string date;
  int32_t size;
  std::u16string label;
  std::u16string expected;
};

// The header's layout is the quoted one: three pieces, CRLF line ends. (The
// date's 24-character limit and a 0 in the hash are tested through the dialog.)
TEST(ReportHeaderText, LaysOutHashDateSizeAndLabel) {
  const HeaderCase cases[] = {
      {"ordinary record", kHash, std::string("2026/12/07 19:42:10\0\0\0\0\0\0", 25), 1843200, u"scene_01",
       u"[tqvm.dat]\r\nhash: 0123456789abcdef0123456789ABCDEF\r\ndate: 2026/12/07 19:42:10\r\nsize: 1843200"
       u"\r\n\r\n[ LABEL名 ]\r\nscene_01\r\n\r\n[ 報告内容 ]\r\n"},
      {"only 32 bytes of the hash are taken", std::string(kHash) + "tail", "", 2147483647, u"L",
       u"[tqvm.dat]\r\nhash: 0123456789abcdef0123456789ABCDEF\r\ndate: \r\nsize: 2147483647"
       u"\r\n\r\n[ LABEL名 ]\r\nL\r\n\r\n[ 報告内容 ]\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReportHeaderText(c.hash, c.date, c.size, c.label, kLatin1), c.expected) << c.why;
  }
}

TEST(DisplayedText, StopsAtTheTerminatorOrTheFieldsEnd) {
  const char16_t terminated[8] = u"名前\0tail";
  const char16_t unterminated[4] = {u'a', u'b', u'c', u'd'};
  EXPECT_EQ(DisplayedText(terminated, 8), u"名前");
  EXPECT_EQ(DisplayedText(unterminated, 4), u"abcd");
  EXPECT_EQ(DisplayedText(u"", 256), u"");
  EXPECT_EQ(DisplayedText(nullptr, 256), u"");
}

TEST(VoiceLine, PrefixesTheVoiceAndFitsA256UnitBuffer) {
  EXPECT_EQ(VoiceLine(u""), u"");
  EXPECT_EQ(VoiceLine(u"v_chi_0012"), u"再生中の音声: v_chi_0012\r\n");
  // 8 units of prefix, 245 of voice, the line end and the terminator: 256.
  const std::u16string longVoice(300, u'x');
  const std::u16string line = VoiceLine(longVoice);
  EXPECT_EQ(line.size() + 1, 256u);
  EXPECT_EQ(line, u"再生中の音声: " + std::u16string(245, u'x') + u"\r\n");
}

struct TableCase {
  const char* why;
  ObjectRows rows;
  std::u16string expected;
};

// Cells are padded to one past their column's widest ANSI byte count.
TEST(ObjectTableText, PadsCellsByAnsiByteWidth) {
  const TableCase cases[] = {
      {"no rows insert nothing", {}, u""},
      {"three single-byte characters under a 5-byte widest cell: 3 spaces; two double-byte: 2 spaces",
       {{u"abc"}, {u"abcde"}, {u"あい"}},
       u"abc   \r\nabcde \r\nあい  \r\n"},
      {"every cell, the last of a row too, gets at least one space",
       {{u"0", u"bg01", u"BG", u"表示"}, {u"12", u"chara", u"BU", u"非表示", u"-32", u"0"}},
       u"0  bg01  BG 表示   \r\n12 chara BU 非表示 -32 0 \r\n"},
      {"a row stops at its first empty cell, and later cells do not widen the column",
       {{u"1", u"a", u"", u"wide-but-unread"}, {u"2", u"b", u"c"}},
       u"1 a \r\n2 b c \r\n"},
      {"a row whose first cell is empty is only a line end", {{u"", u"x"}, {u"7"}}, u"\r\n7 \r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(ObjectTableText(c.rows, kDoubleByte), c.expected) << c.why;
}

TEST(ObjectTableText, WidthsStopAt255Bytes) {
  // 200 double-byte characters are 400 bytes; the list reads at most 255.
  const std::u16string wide(200, u'字');
  const std::u16string table = ObjectTableText({{wide, u"x"}, {u"a", u"y"}}, kDoubleByte);
  EXPECT_EQ(table, wide + u" x \r\na" + std::u16string(255, u' ') + u"y \r\n");
}

}  // namespace
}  // namespace vnscope
