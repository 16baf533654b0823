#include "monitors/variable_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>

#include "ascii_text.h"
#include "variable_store_builders.h"

namespace vnscope {
namespace {

using test::Committed;
using test::ExactPrefix;
using test::FoldedPrefix;
using test::Narrow;
using test::VisibleRows;

std::vector<std::string> Names(const VariableStore& store) {
  std::vector<std::string> names;
  for (const Variable& v : store.table()) names.push_back(Narrow(v.name));
  return names;
}

std::string Text(const VariableStore& store, size_t row, int column) {
  return Narrow(store.Cell(row, column).value_or(VariableCell{u"<no row>"}).text);
}

TEST(VariableStore, SigilsScopeOrderAndRegisters) {
  struct Case {
    const char* why;
    std::initializer_list<std::u16string_view> names;
    std::initializer_list<RegisterBinding> map;
    std::vector<std::string> table;
    std::vector<int32_t> registers;
  };
  const Case cases[] = {
      {"no sigil and empty names are dropped", {u"#a", u"@b", u"c", u""}, {}, {"#a", "@b"}, {-1, -1}},
      {"'#' names first; @ index counts after them",
       {u"@x", u"#y", u"@z"}, {{5, kAtScope, 1}}, {"#y", "@x", "@z"}, {-1, -1, 5}},
      {"other scope indexes the '#' names", {u"@x", u"#y"}, {{9, 0x0101, 0}}, {"#y", "@x"}, {9, -1}},
      {"later entries win; out-of-range ones are skipped",
       {u"#a", u"#b"}, {{1, 0, 0}, {2, 0, 0}, {3, 0, 2}, {4, 0, -1}, {5, kAtScope, 0}}, {"#a", "#b"}, {2, -1}},
      {"register numbers are unsigned 16-bit", {u"#a"}, {{65535, 0, 0}}, {"#a"}, {65535}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    const VariableStore store = Committed(c.names, c.map);
    EXPECT_EQ(Names(store), c.table);
    std::vector<int32_t> registers;
    for (const Variable& v : store.table()) registers.push_back(v.registerNumber);
    EXPECT_EQ(registers, c.registers);
  }
}

TEST(VariableStore, GroupingRules) {
  struct Case {
    const char* why;
    std::initializer_list<std::u16string_view> names;
    PrefixEquals equals;
    std::vector<std::string> topRows;  // kind:index of each top-level row
    std::vector<size_t> memberCounts;
  };
  const Case cases[] = {
      {"consecutive prefixes group; the last member is -3",
       {u"#s.a", u"#s.b", u"#t.c"}, ExactPrefix, {"0:0", "0:2"}, {2, 1}},
      {"'#flags' right after '#flag.a' joins on the prefix units",
       {u"#flag.a", u"#flags", u"#flag.b"}, ExactPrefix, {"0:0"}, {3}},
      {"a repeated prefix after a break starts a new group",
       {u"#a.x", u"#b", u"#a.y"}, ExactPrefix, {"0:0", "-1:1", "0:2"}, {1, 0, 1}},
      {"a shorter name ends the group", {u"#ab.x", u"#a"}, ExactPrefix, {"0:0", "-1:1"}, {1, 0}},
      {"'#x.' groups under '#x'", {u"#x."}, ExactPrefix, {"0:0"}, {1}},
      {"the locale comparison decides", {u"#Flag.a", u"#flag.b"}, FoldedPrefix, {"0:0"}, {2}},
      {"scopes group separately", {u"@a.x", u"#a.y"}, ExactPrefix, {"0:0", "0:1"}, {1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    const VariableStore store = Committed(c.names, {}, c.equals);
    std::vector<std::string> top;
    std::vector<size_t> counts;
    for (const VariableRow& row : store.rows()) {
      top.push_back(std::to_string(row.kind) + ":" + std::to_string(row.index));
      counts.push_back(row.members.size());
      for (size_t m = 0; m < row.members.size(); ++m) {
        EXPECT_EQ(row.members[m].index, row.index + static_cast<int32_t>(m));
        EXPECT_EQ(row.members[m].kind, m + 1 == row.members.size() ? kRowLastMember : kRowMember);
      }
    }
    EXPECT_EQ(top, c.topRows);
    EXPECT_EQ(counts, c.memberCounts);
  }
}

TEST(VariableStore, VisibleRowsFollowToggling) {
  VariableStore store = Committed({u"#a.x", u"#a.y", u"#b", u"#c.z"});
  EXPECT_EQ(VisibleRows(store), (std::vector<std::string>{"0:0", "-1:2", "0:3"}));
  EXPECT_TRUE(store.Toggle(2));
  EXPECT_TRUE(store.Toggle(0));
  EXPECT_EQ(VisibleRows(store),
            (std::vector<std::string>{"1:0", "-2:0", "-3:1", "-1:2", "1:3", "-3:3"}));
  EXPECT_FALSE(store.Toggle(1)) << "a plain variable is no group";
  EXPECT_FALSE(store.Toggle(3)) << "no such top-level row";
  EXPECT_TRUE(store.Toggle(0));
  EXPECT_EQ(VisibleRows(store), (std::vector<std::string>{"0:0", "-1:2", "1:3", "-3:3"}));
  EXPECT_FALSE(store.RowAt(4).has_value());
  EXPECT_FALSE(store.Cell(4, 0).has_value());
}

TEST(VariableStore, DisplayTextsAndStateImages) {
  // The worked example: #a.x = 3, #a.y = -1, #b = 7, with registers.
  VariableStore store = Committed({u"#a.x", u"#a.y", u"#b"}, {{7, 0, 2}, {0, 0, 1}});
  store.SetValue(0, u"3");
  store.SetValue(1, u"-1");
  store.SetValue(2, u"7");
  struct Case {
    size_t row;
    int column;
    const char* text;
    int image;
  };
  const Case collapsed[] = {
      {0, 0, "#a", 1}, {0, 1, "{3,-1}", 1}, {0, 2, "", 1},
      {1, 0, "#b", 0}, {1, 1, "7", 0},      {1, 2, "[7]", 0},
  };
  for (const Case& c : collapsed) {
    SCOPED_TRACE(std::to_string(c.row) + "/" + std::to_string(c.column));
    EXPECT_EQ(Text(store, c.row, c.column), c.text);
    EXPECT_EQ(store.Cell(c.row, c.column)->stateImage, c.image);
  }
  store.Toggle(0);
  const Case expanded[] = {
      {0, 0, "#a", 2},  {0, 1, "", 2}, {0, 2, "", 2},
      {1, 0, "  x", 3}, {1, 1, "3", 0}, {1, 2, "", 0},
      {2, 0, "  y", 4}, {2, 1, "-1", 0}, {2, 2, "[0]", 0},
      {3, 0, "#b", 0},
  };
  for (const Case& c : expanded) {
    SCOPED_TRACE(std::to_string(c.row) + "/" + std::to_string(c.column));
    EXPECT_EQ(Text(store, c.row, c.column), c.text);
    EXPECT_EQ(store.Cell(c.row, c.column)->stateImage, c.image);
  }
}

TEST(VariableStore, MemberWithoutDotAndTrailingDot) {
  VariableStore store = Committed({u"#flag.a", u"#flags", u"#x."});
  EXPECT_EQ(Text(store, 0, 1), "{0,0}") << "values start at 0";
  store.Toggle(0);
  store.Toggle(1);
  EXPECT_EQ(Text(store, 2, 0), "") << "#flags has nothing after a '.'";
  EXPECT_EQ(store.Cell(2, 0)->stateImage, 0) << "no image with an empty name cell";
  EXPECT_EQ(Text(store, 4, 0), "  ") << "#x. shows only the two spaces";
  EXPECT_EQ(store.Cell(4, 0)->stateImage, 4);
}

TEST(VariableStore, ValuesAndParse) {
  VariableStore store = Committed({u"#v"});
  struct Case {
    std::u16string_view text;
    const char* shown;
  };
  const Case cases[] = {{u"12abc", "12"}, {u"-5", "-5"}, {u"", "0"}, {u"99999999999", "2147483647"},
                        {u"-99999999999", "-2147483648"}};
  for (const Case& c : cases) {
    EXPECT_TRUE(store.SetValue(0, c.text));
    EXPECT_EQ(Text(store, 0, 1), c.shown);
  }
  EXPECT_FALSE(store.SetValue(1, u"4")) << "past the end";
  EXPECT_FALSE(store.SetValue(-1, u"4"));
  EXPECT_EQ(Text(store, 0, 1), "-2147483648");
  VariableStore empty(ExactPrefix);
  EXPECT_FALSE(empty.SetValue(0, u"1")) << "before any commit";
}

TEST(VariableStore, LongTextsAreCutAt259Units) {
  VariableStore store(ExactPrefix);
  const std::u16string longName = u"#" + std::u16string(300, u'n');
  store.AddName(longName);
  for (int i = 0; i < 200; ++i) store.AddName(u"#g." + std::u16string(1, char16_t(u'a' + i % 26)));
  store.Commit({});
  for (int i = 1; i <= 200; ++i) store.SetValue(i, u"-1000");
  EXPECT_EQ(store.Cell(0, 0)->text, longName.substr(0, 259));
  const std::u16string values = store.Cell(1, 1)->text;
  EXPECT_EQ(values.size(), 259u);
  EXPECT_EQ(values.substr(0, 12), u"{-1000,-1000");
}

TEST(VariableStore, SecondCommitRebuildsFromItsOwnNames) {
  VariableStore store = Committed({u"#a.x", u"#a.y", u"@b"}, {{1, kAtScope, 0}});
  store.SetValue(0, u"5");
  store.Toggle(0);
  store.AddName(u"@c");
  store.AddName(u"#d");
  const RegisterBinding map[] = {{8, kAtScope, 0}, {3, 0, 0}};
  store.Commit(map);
  EXPECT_EQ(Names(store), (std::vector<std::string>{"#d", "@c"}));
  EXPECT_EQ(VisibleRows(store), (std::vector<std::string>{"-1:0", "-1:1"})) << "nothing listed twice";
  EXPECT_EQ(Text(store, 0, 2), "[3]");
  EXPECT_EQ(Text(store, 1, 2), "[8]");
  EXPECT_EQ(Text(store, 0, 1), "0");
}

// Large lists: the visible index must agree with walking the rows one by one.
TEST(VariableStore, VisibleIndexMatchesAWalkOverManyGroups) {
  VariableStore store(ExactPrefix);
  for (int g = 0; g < 300; ++g) {
    for (int m = 0; m <= g % 4; ++m) {
      store.AddName(m == 0 && g % 5 == 0 ? u"#p" + std::u16string(1, char16_t(0x100 + g))
                                          : u"#g" + std::u16string(1, char16_t(u'A' + g)) + u"." +
                                                std::u16string(1, char16_t(u'a' + m)));
    }
  }
  store.Commit({});
  for (size_t top = 0; top < store.rows().size(); top += 3) store.Toggle(top);
  std::vector<std::pair<size_t, int32_t>> walked;
  for (size_t top = 0; top < store.rows().size(); ++top) {
    walked.emplace_back(top, -1);
    const VariableRow& row = store.rows()[top];
    if (row.kind == kRowExpandedGroup) {
      for (size_t m = 0; m < row.members.size(); ++m) walked.emplace_back(top, static_cast<int32_t>(m));
    }
  }
  ASSERT_EQ(store.VisibleRowCount(), walked.size());
  for (size_t n = 0; n < walked.size(); ++n) {
    const VisibleRow at = *store.RowAt(n);
    ASSERT_EQ(std::make_pair(at.top, at.member), walked[n]) << "visible row " << n;
  }
}

}  // namespace
}  // namespace vnscope
