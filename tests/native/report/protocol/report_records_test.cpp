#include "report/protocol/report_records.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "report/protocol/wire_format.h"

namespace vnscope {
namespace {

// Names arrive out of order and twice, titles both short and longer than a
// pool block's share, so that texts land in many blocks; every view must read
// back the same after the records were moved, in the order a tree of strings
// keeps.
TEST(ReportRecords, KeepEveryTextWhereItIsAcrossBlocksAndMoves) {
  std::map<std::u16string, std::u16string> expected;
  ReportRecords records;
  for (int i = 0; i < 3000; ++i) {
    const int n = (i * 7919) % 2000;  // every name once or twice, scattered
    const std::string digits = std::to_string(n);
    const std::u16string name = u"report-" + std::u16string(digits.begin(), digits.end());
    const std::u16string title = std::u16string(n % 97 == 0 ? 6000 : 1 + n % 40, static_cast<char16_t>(u'あ' + i % 50));
    std::vector<uint8_t> payload;
    AppendUtf16LeString(payload, title);
    AppendUtf16LeString(payload, u"r");
    AppendU32Le(payload, 1);
    AppendU32Le(payload, 0);
    ASSERT_TRUE(records.Summarise(payload, &records[name]));
    expected[name] = title;
  }
  const ReportRecords moved = std::move(records);
  ASSERT_EQ(moved.size(), expected.size());
  auto want = expected.begin();
  for (const auto& [name, record] : moved) {
    EXPECT_EQ(name, want->first);
    EXPECT_EQ(record.title, want->second) << std::string(name.begin(), name.end());
    EXPECT_EQ(record.reporter, u"r");
    ++want;
  }
  EXPECT_EQ(moved.count(u"report-1999"), 1u);
  EXPECT_EQ(moved.count(u"report-2000"), 0u);
}

}  // namespace
}  // namespace vnscope
