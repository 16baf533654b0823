#include "report/protocol/report_records.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "report/protocol/wire_format.h"

namespace vnscope {
namespace {

// A list whose names arrive scattered and up to three times, some without a
// summary or with one too short to read, and titles both short and longer
// than a pool block's share, so that texts land in many blocks. Settled and
// moved, it must hold what a tree of strings filled the same way holds.
TEST(ReportRecords, SettleAsATreeOfStringsWouldAcrossBlocksAndMoves) {
  std::map<std::u16string, std::pair<std::u16string, uint32_t>> expected;  // title, state
  ReportRecords records;
  for (uint32_t i = 0; i < 3000; ++i) {
    const uint32_t n = (i * 7919) % 1200;  // scattered, each name once to three times
    const std::string digits = std::to_string(n);
    const std::u16string name = u"report-" + std::u16string(digits.begin(), digits.end());
    records.Arrive(name);
    auto& want = expected[name];
    if (i % 5 == 4) continue;  // no summary: an earlier one stands
    const std::u16string title(n % 97 == 0 ? 6000 : 1 + n % 40, static_cast<char16_t>(u'あ' + i % 50));
    std::vector<uint8_t> payload;
    AppendUtf16LeString(payload, title);
    AppendUtf16LeString(payload, u"r");
    AppendU32Le(payload, 1);
    if (i % 7 == 6) {  // no state: unread, an earlier summary stands
      EXPECT_FALSE(records.SummariseLast(payload));
      continue;
    }
    AppendU32Le(payload, i);
    ASSERT_TRUE(records.SummariseLast(payload));
    want = {title, i};
  }
  records.Settle();
  const ReportRecords moved = std::move(records);
  ASSERT_EQ(moved.size(), expected.size());
  auto want = expected.begin();
  for (const auto& [name, record] : moved) {
    EXPECT_EQ(name, want->first);
    EXPECT_EQ(record.title, want->second.first) << std::string(name.begin(), name.end());
    EXPECT_EQ(record.state, want->second.second) << std::string(name.begin(), name.end());
    ++want;
  }
  EXPECT_EQ(moved.count(u"report-1199"), 1u);
  EXPECT_EQ(moved.count(u"report-1200"), 0u);
}

}  // namespace
}  // namespace vnscope
