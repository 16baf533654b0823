// What the variable list shows on top of its rows: the find-as-you-type
// filter, the watch group and the values the engine changed lately.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitors/variable_store.h"
#include "monitors/watch_list.h"
#include "variable_store_builders.h"

namespace vnscope {
namespace {

using test::ColumnTexts;
using test::Committed;
using test::VisibleRows;
using Texts = std::vector<std::u16string>;
using Rows = std::vector<std::string>;

// Table positions: 0 #flag.a, 1 #flag.b, 2 #turn, 3 #Map.flagX, 4 #map.y,
// 5 @FLAG, 6 @日本.語. Exact prefixes: #Map and #map are two groups.
VariableStore Script() {
  return Committed({u"#flag.a", u"#flag.b", u"#turn", u"#Map.flagX", u"#map.y", u"@FLAG", u"@日本.語"});
}

TEST(VariableFilter, ShowsMatchingNamesInExpandedGroupsWithTheirMatchingMembersOnly) {
  struct Case {
    std::u16string_view text;
    Rows rows;  // kind:index, worked out from the names above
    Texts names;
  };
  const Case cases[] = {
      {u"flag",
       {"1:0", "-2:0", "-3:1", "1:3", "-3:3", "-1:5"},
       {u"#flag", u"  a", u"  b", u"#Map", u"  flagX", u"@FLAG"}},
      {u"FLAG.B", {"1:1", "-3:1"}, {u"#flag", u"  b"}},
      {u"m", {"1:3", "-3:3", "1:4", "-3:4"}, {u"#Map", u"  flagX", u"#map", u"  y"}},
      {u"日本", {"1:6", "-3:6"}, {u"@日本", u"  語"}},
      {u"ｆｌａｇ", {}, {}},  // full-width letters are not ASCII: compared exactly
      {u"@日本.語", {"1:6", "-3:6"}, {u"@日本", u"  語"}},
      {u"#turn ", {}, {}},
      {u"zzz", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    VariableStore store = Script();
    store.SetFilter(c.text);
    EXPECT_TRUE(store.Filtering());
    EXPECT_EQ(VisibleRows(store), c.rows);
    EXPECT_EQ(ColumnTexts(store, 0), c.names);
  }
}

TEST(VariableFilter, ClearingRestoresEveryGroupAsItWas) {
  VariableStore store = Script();
  store.Toggle(2);  // #Map expanded, the others collapsed
  const Rows before = {"0:0", "-1:2", "1:3", "-3:3", "0:4", "-1:5", "0:6"};
  ASSERT_EQ(VisibleRows(store), before);
  store.SetFilter(u"a");
  // Collapsing a group in the filtered view changes the view only; its value
  // cell lists the members shown.
  EXPECT_EQ(ColumnTexts(store, 0)[0], u"#flag");
  EXPECT_TRUE(store.Toggle(0));
  EXPECT_EQ(store.Cell(0, 1)->text, u"{0,0}");
  EXPECT_EQ(store.Cell(0, 0)->stateImage, 1);
  store.SetFilter(u"nothing matches");
  EXPECT_EQ(store.VisibleRowCount(), 0u);
  EXPECT_FALSE(store.RowAt(0).has_value());
  store.SetFilter(u"");
  EXPECT_FALSE(store.Filtering());
  EXPECT_EQ(VisibleRows(store), before);
}

TEST(VariableFilter, ACommitWhileFilteringFiltersTheNewTable) {
  VariableStore store = Script();
  store.SetFilter(u"y");
  EXPECT_EQ(ColumnTexts(store, 0), (Texts{u"#map", u"  y"}));
  for (auto name : {u"#day", u"#x.yes", u"#x.no"}) store.AddName(name);
  store.Commit({});
  EXPECT_EQ(VisibleRows(store), (Rows{"-1:0", "1:1", "-3:1"}));
  store.SetFilter(u"");
  EXPECT_EQ(VisibleRows(store), (Rows{"-1:0", "0:1"}));
}

TEST(VariableFilter, VariableOfRowFollowsTheFilteredView) {
  VariableStore store = Script();
  store.SetFilter(u"a");
  EXPECT_EQ(store.VariableOfRow(0), std::nullopt) << "a group row";
  EXPECT_EQ(store.VariableOfRow(1), 0);
  EXPECT_EQ(store.VariableOfRow(2), 1);
  EXPECT_EQ(store.VariableOfRow(99), std::nullopt);
}

TEST(VariableWatch, WatchedVariablesComeFirstInTheOrderAddedAndStayInPlace) {
  VariableStore store = Script();
  store.SetValue(5, u"7");
  store.SetValue(1, u"-2");
  EXPECT_TRUE(store.AddWatch(5));
  EXPECT_TRUE(store.AddWatch(1));
  EXPECT_FALSE(store.AddWatch(5)) << "watched once";
  EXPECT_FALSE(store.AddWatch(70)) << "no such variable";
  EXPECT_EQ(ColumnTexts(store, 0), (Texts{u"ウォッチ", u"@FLAG", u"#flag.b", u"#flag", u"#turn", u"#Map", u"#map",
                                          u"@FLAG", u"@日本"}));
  EXPECT_EQ(ColumnTexts(store, 1), (Texts{u"", u"7", u"-2", u"{0,-2}", u"0", u"{0}", u"{0}", u"7", u"{0}"}));
  const int images[] = {2, 3, 4, 1, 0};
  for (size_t row = 0; row < std::size(images); ++row) EXPECT_EQ(store.Cell(row, 0)->stateImage, images[row]) << row;
  EXPECT_TRUE(store.RowAt(2)->watch);
  EXPECT_FALSE(store.RowAt(3)->watch);
  EXPECT_EQ(store.WatchNames(), (Texts{u"@FLAG", u"#flag.b"}));
  EXPECT_TRUE(store.Watched(5));
  EXPECT_FALSE(store.Watched(0));

  // The watch group toggles like any group; a filter leaves it whole.
  EXPECT_TRUE(store.Toggle(0));
  EXPECT_EQ(store.Cell(0, 1)->text, u"{7,-2}");
  EXPECT_EQ(store.Cell(0, 0)->stateImage, 1);
  store.SetFilter(u"turn");
  EXPECT_EQ(ColumnTexts(store, 0), (Texts{u"ウォッチ", u"#turn"}));
  EXPECT_TRUE(store.Toggle(0));
  EXPECT_EQ(ColumnTexts(store, 0), (Texts{u"ウォッチ", u"@FLAG", u"#flag.b", u"#turn"}));

  EXPECT_TRUE(store.RemoveWatch(5));
  EXPECT_FALSE(store.RemoveWatch(5));
  EXPECT_TRUE(store.RemoveWatch(1));
  store.SetFilter(u"");
  EXPECT_EQ(VisibleRows(store), VisibleRows(Script())) << "no watches: the rows of before";
}

TEST(VariableWatch, ANameTwiceInTheTableIsWatchedOnceAtItsFirstPlace) {
  VariableStore store = Committed({u"#a", u"#b", u"#a"});
  store.SetValue(0, u"1");
  store.SetValue(2, u"2");
  EXPECT_TRUE(store.AddWatch(2));
  EXPECT_FALSE(store.AddWatch(0)) << "the same name";
  EXPECT_TRUE(store.Watched(0));
  EXPECT_TRUE(store.Watched(2));
  EXPECT_EQ(ColumnTexts(store, 0), (Texts{u"ウォッチ", u"#a", u"#a", u"#b", u"#a"}));
  EXPECT_EQ(store.Cell(1, 1)->text, u"1") << "the first #a";
  EXPECT_TRUE(store.RemoveWatch(0));
  EXPECT_EQ(store.VisibleRowCount(), 3u);
}

TEST(VariableWatch, RestoredNamesTheTableLacksAreKeptButNotShown) {
  VariableStore store = Script();
  const Texts file = {u"#gone", u"#turn", u"#turn", u"@日本.語"};
  store.RestoreWatches(file);
  EXPECT_EQ(store.WatchNames(), (Texts{u"#gone", u"#turn", u"@日本.語"}));
  EXPECT_EQ(ColumnTexts(store, 0).front(), u"ウォッチ");
  EXPECT_EQ(store.Cell(1, 0)->text, u"#turn");
  EXPECT_EQ(store.Cell(2, 0)->text, u"@日本.語");
  EXPECT_EQ(store.Cell(2, 0)->stateImage, 4);
  // A later commit keeps the list; the group comes back expanded.
  store.Toggle(0);
  for (auto name : {u"#gone", u"#other"}) store.AddName(name);
  store.Commit({});
  EXPECT_EQ(ColumnTexts(store, 0), (Texts{u"ウォッチ", u"#gone", u"#gone", u"#other"}));
  EXPECT_EQ(store.WatchNames().size(), 3u);
  // Watching a name nobody has: no group at all.
  store.RestoreWatches(Texts{u"#nobody"});
  EXPECT_EQ(VisibleRows(store), (Rows{"-1:0", "-1:1"}));
}

constexpr uint64_t kStart = 1'000'000;

ValueArrival At(uint64_t offset, uint32_t timeOfDay = 0) { return {kStart + offset, timeOfDay}; }

TEST(VariableChanges, EngineChangesAreHighlightedForFiveSecondsOrUntilCleared) {
  VariableStore store = Script();
  store.Toggle(0);  // #flag expanded: rows #flag, a, b, #turn, #Map, ...
  EXPECT_TRUE(store.ReceiveValue(1, u"5", At(0)));
  EXPECT_TRUE(store.ReceiveValue(2, u"0", At(10))) << "the same value: no change";
  EXPECT_TRUE(store.SetValue(0, u"9")) << "typed by the tester";
  EXPECT_TRUE(store.ReceiveValue(3, u"1", At(20)));
  EXPECT_FALSE(store.ReceiveValue(7, u"1", At(20)));
  struct Case {
    size_t row;
    uint64_t at;
    bool highlighted;
  };
  const Case cases[] = {
      {0, 0, false},  // an expanded group shows no value
      {1, 0, false},  {2, 0, true}, {2, 4999, true}, {2, 5000, false},
      {3, 10, false},
      {4, 20, true},  // #Map collapsed, its member #Map.flagX changed
      {4, 5019, true}, {4, 5020, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(store.RowHighlighted(c.row, kStart + c.at), c.highlighted) << c.row << " at " << c.at;
  }
  EXPECT_EQ(store.NextHighlightExpiry(), kStart + 5000);
  EXPECT_FALSE(store.ExpireHighlights(kStart + 4999));
  EXPECT_TRUE(store.ExpireHighlights(kStart + 5000));
  EXPECT_EQ(store.NextHighlightExpiry(), kStart + 5020);

  // A second change moves the end; the clear ends everything.
  EXPECT_TRUE(store.ReceiveValue(3, u"2", At(4000)));
  EXPECT_FALSE(store.ExpireHighlights(kStart + 5020)) << "the first end no longer counts";
  EXPECT_TRUE(store.RowHighlighted(4, kStart + 8999));
  store.ClearHighlights();
  EXPECT_FALSE(store.RowHighlighted(4, kStart + 4001));
  EXPECT_EQ(store.NextHighlightExpiry(), std::nullopt);
}

TEST(VariableChanges, TheTipListsTheLastEightValuesNewestFirst) {
  VariableStore store = Committed({u"#v", u"#g.a"});
  EXPECT_EQ(store.ValueTip(0), u"") << "nothing arrived yet";
  // Values 1 to 9 at 12:34:56.001, .002, ...: the first one drops out.
  const uint32_t base = ((12 * 60 + 34) * 60 + 56) * 1000;
  for (int32_t value = 1; value <= 9; ++value) {
    const std::u16string text(1, static_cast<char16_t>(u'0' + value));
    store.ReceiveValue(0, text, At(static_cast<uint64_t>(value), base + static_cast<uint32_t>(value)));
  }
  EXPECT_EQ(store.ValueTip(0),
            u"12:34:56.009  9\r\n12:34:56.008  8\r\n12:34:56.007  7\r\n12:34:56.006  6\r\n"
            u"12:34:56.005  5\r\n12:34:56.004  4\r\n12:34:56.003  3\r\n12:34:56.002  2");
  EXPECT_EQ(store.ValueTip(1), u"") << "a group row";
  EXPECT_EQ(store.ValueTip(5), u"") << "no such row";
  // A new table has no past.
  store.AddName(u"#v");
  store.Commit({});
  EXPECT_EQ(store.ValueTip(0), u"");
}

TEST(ValueHistoryFormat, TimesOfDay) {
  struct Case {
    uint32_t timeOfDay;
    std::u16string_view text;
  };
  const Case cases[] = {
      {0, u"00:00:00.000"},
      {((23 * 60 + 59) * 60 + 59) * 1000 + 999, u"23:59:59.999"},
      {((9 * 60 + 5) * 60 + 7) * 1000 + 42, u"09:05:07.042"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatTimeOfDay(c.timeOfDay), c.text);
  EXPECT_EQ(FormatPastValues({{-2147483647 - 1, 1000}}), u"00:00:01.000  -2147483648");
}

TEST(WatchFile, NamesOneALine) {
  EXPECT_EQ(FormatWatchFile(Texts{u"#a", u"@日本.語"}), u"#a\r\n@日本.語\r\n");
  EXPECT_EQ(FormatWatchFile(Texts{u"#bad\nname", u"#ok", u"#also\rbad"}), u"#ok\r\n")
      << "a name with a line break of its own is no line";
  EXPECT_EQ(FormatWatchFile(Texts{}), u"");
  struct Case {
    const char* why;
    std::u16string_view text;
    Texts names;
  };
  const Case cases[] = {
      {"CR LF", u"#a\r\n#b\r\n", {u"#a", u"#b"}},
      {"LF, no final line end", u"#a\n#b", {u"#a", u"#b"}},
      {"byte order mark", u"\xFEFF#a\r\n", {u"#a"}},
      {"empty lines", u"\r\n\n#a\r\n\r\n", {u"#a"}},
      {"spaces belong to the name", u" #a \r\n", {u" #a "}},
      {"nothing", u"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseWatchFile(c.text), c.names) << c.why;
}

}  // namespace
}  // namespace vnscope
