#include "report/protocol/report_summary.h"

#include <gtest/gtest.h>

#include <vector>

namespace vnscope {
namespace {

struct SummaryCase {
  const char* what;
  std::vector<uint8_t> payload;
  ReportRecord record;
};

TEST(ParseReportSummary, ReadsTitleReporterFlagsAndState) {
  const SummaryCase cases[] = {
      // the protocol's worked example: title T, reporter R, flags 3, state 1
      {"worked example",
       {0x54, 0, 0, 0, 0x52, 0, 0, 0, 0x03, 0, 0, 0, 0x01, 0, 0, 0},
       {u"T", u"R", 3, 1}},
      {"empty strings", {0, 0, 0, 0, 0x01, 0, 0, 0, 0x00, 0, 0, 0x80}, {u"", u"", 1, 0x80000000u}},
      {"state is the last word even when more follows the flags",
       {0x41, 0, 0, 0, 0, 0, 0x02, 0, 0, 0, 0xEE, 0xEE, 0x02, 0, 0, 0x80},
       {u"A", u"", 2, 0x80000002u}},
      {"non-ASCII units", {0x42, 0x30, 0, 0, 0x2A, 0x59, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0},
       {u"あ", u"太", 1, 1}},
  };
  for (const auto& c : cases) {
    TextPool texts;
    ReportRecord record;
    ASSERT_TRUE(ParseReportSummary(c.payload, texts, &record)) << c.what;
    EXPECT_EQ(record.title, c.record.title) << c.what;
    EXPECT_EQ(record.reporter, c.record.reporter) << c.what;
    EXPECT_EQ(record.flags, c.record.flags) << c.what;
    EXPECT_EQ(record.state, c.record.state) << c.what;
  }
}

struct BadSummary {
  const char* why;
  std::vector<uint8_t> payload;
};

// Each would make a reader that trusts the layout read past the payload.
TEST(ParseReportSummary, IgnoresPayloadsThatDoNotHoldTheLayout) {
  const BadSummary cases[] = {
      {"empty", {}},
      {"title never terminated", {0x54, 0, 0x55, 0, 0x56, 0}},
      {"reporter never terminated", {0x54, 0, 0, 0, 0x52, 0, 0x53, 0}},
      {"odd byte where a terminator should be", {0x54, 0, 0, 0, 0x52, 0, 0}},
      {"no room for flags", {0x54, 0, 0, 0, 0x52, 0, 0, 0}},
      {"room for flags but not for a separate state", {0x54, 0, 0, 0, 0x52, 0, 0, 0, 3, 0, 0, 0}},
      {"one byte short of flags and state", {0, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0}},
  };
  for (const auto& c : cases) {
    TextPool texts;
    ReportRecord record{u"keep", u"me", 7, 9};
    EXPECT_FALSE(ParseReportSummary(c.payload, texts, &record)) << c.why;
    EXPECT_EQ(record.title, u"keep") << c.why;
    EXPECT_EQ(record.reporter, u"me") << c.why;
    EXPECT_EQ(record.flags, 7u) << c.why;
    EXPECT_EQ(record.state, 9u) << c.why;
  }
}

}  // namespace
}  // namespace vnscope
