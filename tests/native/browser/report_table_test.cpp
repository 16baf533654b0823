#include "browser/report_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vnscope {
namespace {

TEST(ReportTable, FindOrAddCreatesDefaultsOnce) {
  ReportTable table;
  ReportRecord& added = table.FindOrAdd(u"r1");
  EXPECT_EQ(added.title, u"");
  EXPECT_EQ(added.reporter, u"");
  EXPECT_EQ(added.flags, 0u);
  EXPECT_EQ(added.state, ReportState::New);
  added.title = u"kept";
  EXPECT_EQ(table.FindOrAdd(u"r1").title, u"kept");
  EXPECT_EQ(&table.FindOrAdd(u"r1"), &added);
  EXPECT_EQ(table.records().size(), 1u);
  table.Clear();
  EXPECT_TRUE(table.records().empty());
}

// Names are ordered by UTF-16 code unit: digits before capitals before small
// letters, kana (U+3000 block) after ASCII, and a surrogate unit (U+D800 on)
// after kana though its character lies above U+FFFF.
TEST(ReportTable, KeysAreOrderedByCodeUnit) {
  ReportTable table;
  const std::u16string names[] = {u"b", u"\U0001F600", u"あ", u"B", u"10", u"a", u"1", u"\uFF21"};
  for (const auto& name : names) table.FindOrAdd(name);
  std::vector<std::u16string> order;
  for (const auto& [name, record] : table.records()) order.push_back(name);
  const std::vector<std::u16string> expected = {u"1",  u"10", u"B",         u"a",
                                                u"b",  u"あ", u"\U0001F600", u"\uFF21"};
  EXPECT_EQ(order, expected);
}

struct FilterCase {
  const char* what;
  uint32_t flags;
  uint32_t state;
  bool shown[5];  // tabs 0 to 3, then an index outside them
};

TEST(ReportPassesFilter, ListsEachReportUnderItsTabs) {
  const FilterCase cases[] = {
      {"Fixed with text: only TXT全件", ReportFlags::HasText, ReportState::Fixed,
       {true, false, false, false, true}},
      {"new with text", ReportFlags::HasText, ReportState::New, {true, true, false, false, true}},
      {"flags 2: only the SS tabs", ReportFlags::HasSnapshot, ReportState::New,
       {false, false, true, true, true}},
      {"flags 2 dealt with", ReportFlags::HasSnapshot, ReportState::Confirmed,
       {false, false, true, false, true}},
      {"state 1, flags 3: all four", 3, ReportState::RefixRequested, {true, true, true, true, true}},
      {"NoProblem, flags 3: the two 全件 tabs", 3, ReportState::NoProblem,
       {true, false, true, false, true}},
      {"no flags: only the catch-all", 0, ReportState::New, {false, false, false, false, true}},
      {"unnamed negative state counts as dealt with", 3, 0xFFFFFFFFu,
       {true, false, true, false, true}},
      {"unnamed positive state is still open", 3, 0x7FFFFFFFu, {true, true, true, true, true}},
  };
  const int filters[] = {0, 1, 2, 3, 4};
  for (const auto& c : cases) {
    const ReportRecord record{u"t", u"r", c.flags, c.state};
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(ReportPassesFilter(record, filters[i]), c.shown[i]) << c.what << ", tab " << i;
    }
    EXPECT_TRUE(ReportPassesFilter(record, -1)) << c.what;
  }
}

struct LookCase {
  uint32_t state;
  std::u16string_view label;
  bool has_colour;
  ReportColour colour;
};

TEST(ReportStateLook, LabelsAndColoursFollowTheTable) {
  const LookCase cases[] = {
      {ReportState::New, u"新着", false, {}},
      {ReportState::RefixRequested, u"再修正依頼", true, {255, 0, 0}},
      {ReportState::Fixed, u"修正済", true, {128, 128, 128}},
      {ReportState::Confirmed, u"完了", true, {192, 192, 192}},
      {ReportState::NoProblem, u"問題なし", true, {192, 240, 240}},
      {2, u"", false, {}},
      {0x80000003u, u"", false, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReportStateLabel(c.state), c.label) << std::hex << c.state;
    const auto colour = ReportStateColour(c.state);
    ASSERT_EQ(colour.has_value(), c.has_colour) << std::hex << c.state;
    if (colour) {
      EXPECT_EQ(colour->red, c.colour.red) << std::hex << c.state;
      EXPECT_EQ(colour->green, c.colour.green) << std::hex << c.state;
      EXPECT_EQ(colour->blue, c.colour.blue) << std::hex << c.state;
    }
  }
}

// The state column never borrows another column's text: a state without a
// label shows its stored 32-bit value.
TEST(ReportStateText, NamedStatesShowTheirLabelOthersTheirNumber) {
  const struct {
    uint32_t state;
    std::u16string_view text;
  } cases[] = {
      {ReportState::New, u"新着"},
      {ReportState::Fixed, u"修正済"},
      {ReportState::NoProblem, u"問題なし"},
      {2, u"2"},
      {0x7FFFFFFFu, u"2147483647"},
      {0x80000003u, u"2147483651"},
      {0xFFFFFFFFu, u"4294967295"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReportStateText(c.state), c.text) << std::hex << c.state;
}

}  // namespace
}  // namespace vnscope
