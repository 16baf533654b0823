#include "report/package/package_entries.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/protocol/report_types.h"

namespace vnscope {
namespace {

std::vector<uint8_t> BytesOf(std::string_view text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

struct AuthorCase {
  std::u16string_view title;
  std::u16string_view reporter;
  uint32_t flags;
  std::vector<uint8_t> bytes;
};

// Title and reporter as UTF-16LE each closed by a 0 unit, then the flags
// little-endian.
TEST(AuthorEntry, IsTitleReporterAndFlags) {
  const AuthorCase cases[] = {
      // the package's worked example: title a, user b, flags 1
      {u"a", u"b", ReportFlags::HasText, {0x61, 0, 0, 0, 0x62, 0, 0, 0, 0x01, 0, 0, 0}},
      {u"", u"", 0, {0, 0, 0, 0, 0, 0, 0, 0}},
      {u"T", u"R", ReportFlags::HasText | ReportFlags::HasSnapshot,
       {0x54, 0, 0, 0, 0x52, 0, 0, 0, 0x03, 0, 0, 0}},
      // あ is U+3042, 太 U+592A; units are written low byte first
      {u"あ", u"太郎", ReportFlags::HasSnapshot,
       {0x42, 0x30, 0, 0, 0x2A, 0x59, 0xCE, 0x90, 0, 0, 0x02, 0, 0, 0}},
      {u"x", u"", 0x12345678u, {0x78, 0, 0, 0, 0, 0, 0x78, 0x56, 0x34, 0x12}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AuthorEntry(c.title, c.reporter, c.flags), c.bytes)
        << std::string(c.title.begin(), c.title.end());
  }
}

struct ScriptInfoCase {
  std::u16string_view header;
  std::u16string_view report;
  std::string_view bytes;
};

TEST(ScriptInfoEntry, IsHeaderAndReportEachWithALineEndThenOneZero) {
  using namespace std::string_view_literals;
  const ScriptInfoCase cases[] = {
      {u"H", u"R", "H\r\nR\r\n\0"sv},
      {u"", u"", "\r\n\r\n\0"sv},
      {u"[tqvm.dat]\r\nhash: 0\r\n\r\n[ 報告内容 ]\r\n", u"bug",
       // the codec turns what Latin-1 lacks into '?'
       "[tqvm.dat]\r\nhash: 0\r\n\r\n[ ???? ]\r\n\r\nbug\r\n\0"sv},
      {u"caf\u00E9", u"", "caf\xE9\r\n\r\n\0"sv},
  };
  const Latin1Codec codec;
  for (const auto& c : cases) {
    const std::vector<uint8_t> entry = ScriptInfoEntry(c.header, c.report, codec);
    EXPECT_EQ(entry, BytesOf(c.bytes)) << std::string(c.report.begin(), c.report.end());
    ASSERT_GE(entry.size(), 3u);
    EXPECT_EQ(entry[entry.size() - 3], '\r');
    EXPECT_EQ(entry[entry.size() - 2], '\n');
    EXPECT_EQ(entry.back(), 0);
  }
}

struct ObjectListCase {
  const char* what;
  std::vector<std::vector<std::u16string>> rows;
  std::string_view bytes;
};

TEST(ObjectListEntry, QuotesEachCellUpToTheFirstEmptyOne) {
  using namespace std::string_view_literals;
  const ObjectListCase cases[] = {
      {"no rows", {}, "\0"sv},
      {"four cells without position",
       {{u"1", u"sprite", u"bg01", u"shown"}},
       "\"1\",\"sprite\",\"bg01\",\"shown\",\n\0"sv},
      {"empty middle cell stops the row", {{u"a", u"", u"c"}}, "\"a\",\n\0"sv},
      {"empty first cell leaves the line feed alone", {{u"", u"b"}}, "\n\0"sv},
      {"row without cells", {{}}, "\n\0"sv},
      {"several rows, no carriage return",
       {{u"1", u"a"}, {u"2", u"b", u"c"}},
       "\"1\",\"a\",\n\"2\",\"b\",\"c\",\n\0"sv},
      {"no escaping of quotes or commas", {{u"say \"hi\", then"}}, "\"say \"hi\", then\",\n\0"sv},
      {"converted with the codec", {{u"\u00E9t\u00E9", u"\u3042"}}, "\"\xE9t\xE9\",\"?\",\n\0"sv},
  };
  const Latin1Codec codec;
  for (const auto& c : cases) {
    EXPECT_EQ(ObjectListEntry(c.rows, codec), BytesOf(c.bytes)) << c.what;
  }
}

}  // namespace
}  // namespace vnscope
