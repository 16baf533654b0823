#include "browser/report_rows.h"
#include "browser/report_table.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
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
  for (const auto& [name, record] : table.records()) order.emplace_back(name);
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

// The rows of one tab: the reports it lists in name order, each cell as the
// browser's columns define it (title or else name, state label or number).
TEST(ReportRows, ListTheTabsReportsInNameOrderWithTheirCells) {
  ReportTable table;
  table.FindOrAdd(u"c") = {u"三番", u"佐藤", ReportFlags::HasText, ReportState::RefixRequested};
  table.FindOrAdd(u"a") = {u"", u"鈴木", ReportFlags::HasText, ReportState::New};
  table.FindOrAdd(u"b") = {u"SSだけ", u"田中", ReportFlags::HasSnapshot, ReportState::New};
  table.FindOrAdd(u"d") = {u"済み", u"高橋", ReportFlags::HasText, ReportState::Fixed};
  table.FindOrAdd(u"e") = {u"未知の状態", u"伊藤", ReportFlags::HasText, 7};
  const struct {
    int filter;
    std::vector<std::vector<std::u16string>> rows;
  } cases[] = {
      {kAllWithText,
       {{u"a", u"a", u"新着", u"鈴木"},
        {u"c", u"三番", u"再修正依頼", u"佐藤"},
        {u"d", u"済み", u"修正済", u"高橋"},
        {u"e", u"未知の状態", u"7", u"伊藤"}}},
      {kOpenWithText,
       {{u"a", u"a", u"新着", u"鈴木"}, {u"c", u"三番", u"再修正依頼", u"佐藤"}, {u"e", u"未知の状態", u"7", u"伊藤"}}},
      {kAllWithSnapshot, {{u"b", u"SSだけ", u"新着", u"田中"}}},
      {kOpenWithSnapshot, {{u"b", u"SSだけ", u"新着", u"田中"}}},
  };
  ReportRows rows;
  for (const auto& c : cases) {
    rows.Fill(table, c.filter);
    ASSERT_EQ(rows.count(), static_cast<int>(c.rows.size())) << "tab " << c.filter;
    for (int row = 0; row < rows.count(); ++row) {
      std::vector<std::u16string> cells;
      for (int column = 0; column < 4; ++column) cells.push_back(rows.Cell(row, column));
      EXPECT_EQ(cells, c.rows[row]) << "tab " << c.filter << ", row " << row;
      EXPECT_EQ(rows.At(row)->second.state, table.records().find(c.rows[row][0])->second.state);
    }
  }
}

TEST(ReportRows, AnswerNothingOutsideTheirRowsAndColumns) {
  ReportTable table;
  table.FindOrAdd(u"a").flags = ReportFlags::HasText;
  ReportRows rows;
  rows.Fill(table, kAllWithText);
  ASSERT_EQ(rows.count(), 1);
  for (const auto& [row, column] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 4}}) {
    EXPECT_EQ(rows.Cell(row, column), u"") << row << ", " << column;
  }
  EXPECT_EQ(rows.At(-1), nullptr);
  EXPECT_EQ(rows.At(1), nullptr);
  // Cleared before the table changes under them: no row points into it.
  rows.Clear();
  EXPECT_EQ(rows.count(), 0);
  EXPECT_EQ(rows.At(0), nullptr);
  EXPECT_EQ(rows.Cell(0, 0), u"");
}

}  // namespace
}  // namespace vnscope
