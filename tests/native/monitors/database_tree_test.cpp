#include "monitors/database_tree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "ascii_text.h"
#include "database_arena.h"
#include "monitors/monitor_limits.h"

namespace vnscope {
namespace {

using test::ArenaMemory;
using test::DecodeUtf8;
using test::Narrow;

std::vector<std::string> EntryTexts(const DatabaseListing& listing) {
  std::vector<std::string> texts;
  for (const TableEntry& e : listing.tables) texts.push_back(Narrow(e.text));
  return texts;
}

TEST(DatabaseTree, ListsPrivateAndCommonTables) {
  ArenaMemory m;
  const NodeAddress items = m.Obj("items", {m.Num("name", 1), m.Str("name", "Items")});
  const NodeAddress root = m.Obj("maindb", {
      m.Obj("PRIVATE", {items, m.Str("loose", "not a table"), m.Obj(nullptr, {})}),
      m.Obj("other", {m.Obj("skipped", {})}),
      m.Str("common", "a string, not the scope"),
      m.Obj("Common", {m.Obj("flags", {}), m.Obj("bad\xff", {})}),
  });
  const DatabaseListing listing = DatabaseWalker(m, DecodeUtf8).ListTables(root);
  EXPECT_TRUE(listing.isObject);
  EXPECT_EQ(listing.name, u"maindb");
  // The member "name" is looked up by type too: the number of that key is passed over.
  EXPECT_EQ(EntryTexts(listing), (std::vector<std::string>{"#items(Items)", "@flags"}));
  EXPECT_EQ(listing.tables[0].table, items);
}

TEST(DatabaseTree, RootThatIsNoObjectAndRootWithoutKey) {
  ArenaMemory m;
  const NodeAddress array = m.Arr("db", {});
  EXPECT_FALSE(DatabaseWalker(m, DecodeUtf8).ListTables(array).isObject);
  EXPECT_FALSE(DatabaseWalker(m, DecodeUtf8).ListTables(0).isObject);
  const DatabaseListing unnamed = DatabaseWalker(m, DecodeUtf8).ListTables(m.Obj(nullptr, {}));
  EXPECT_TRUE(unnamed.isObject);
  EXPECT_FALSE(unnamed.name.has_value());
}

TEST(DatabaseTree, HeadingsOfOtherTypesAndShapeMismatches) {
  ArenaMemory m;
  struct Case {
    const char* why;
    NodeAddress table;
    std::vector<std::u16string> columns;
    std::vector<std::u16string> rows;
    bool hasData;
  };
  const Case cases[] = {
      {"number heading gives 値, boolean row gives 項目",
       m.Obj("t", {m.Arr("x", {m.Num(nullptr, 4)}), m.Arr("y", {m.Bool(nullptr, 1)}),
                   m.Arr("data", {m.Arr(nullptr, {m.Num(nullptr, 1)})})}),
       {u"値"}, {u"項目"}, true},
      {"one column of the wrong length",
       m.Obj("t", {m.Arr("x", {m.Str(nullptr, "a"), m.Str(nullptr, "b")}), m.Arr("y", {m.Str(nullptr, "r")}),
                   m.Arr("data", {m.Arr(nullptr, {m.Num(nullptr, 1)}), m.Arr(nullptr, {})})}),
       {u"a", u"b"}, {u"r"}, false},
      {"data of the wrong length", m.Obj("t", {m.Arr("x", {m.Str(nullptr, "a")}), m.Arr("data", {})}),
       {u"a"}, {}, false},
      {"x as an object is no heading array",
       m.Obj("t", {m.Obj("x", {m.Str(nullptr, "a")}), m.Arr("y", {m.Str(nullptr, "r")})}), {}, {u"r"}, false},
      {"no members at all", m.Obj("t", {}), {}, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    const TableLayout layout = DatabaseWalker(m, DecodeUtf8).LayOutTable(c.table);
    EXPECT_EQ(layout.columns, c.columns);
    EXPECT_EQ(layout.rowHeadings, c.rows);
    EXPECT_EQ(layout.data != 0, c.hasData);
  }
  EXPECT_EQ(DatabaseWalker(m, DecodeUtf8).LayOutTable(m.Obj("t", {m.Str("name", "Items")})).title, u"Items");
}

TEST(DatabaseTree, CellTexts) {
  struct Case {
    double value;
    const char* text;
  };
  // From the cell text rule: whole 32-bit values as %d, others as %.3lf.
  const Case numbers[] = {{3.0, "3"}, {-0.5, "-0.500"}, {10000000000.0, "10000000000.000"}, {-0.0, "0"},
                          {2147483647.0, "2147483647"}, {-2147483648.0, "-2147483648"},
                          {2147483648.0, "2147483648.000"}, {1.0005, "1.000"}};
  for (const Case& c : numbers) EXPECT_EQ(Narrow(FormatDatabaseNumber(c.value)), c.text) << c.value;

  ArenaMemory m;
  const std::string fits(255, 'x');
  const std::string tooLong(256, 'x');
  const std::string wideFits = [] { std::string s; for (int i = 0; i < 255; ++i) s += "\xE5\x80\xA4"; return s; }();
  const NodeAddress first = m.Arr(nullptr, {
      m.Str(nullptr, fits.c_str()), m.Str(nullptr, tooLong.c_str()), m.Str(nullptr, "\xff"),
      m.Str(nullptr, wideFits.c_str()), m.Node(9, nullptr, 0), m.Str(nullptr, nullptr), m.Num(nullptr, 1e300)});
  m.SetNext(first, m.Num(nullptr, 5));  // a column node that is no array fills no cells
  const auto cells = DatabaseWalker(m, DecodeUtf8).ReadCells(first);
  ASSERT_EQ(cells.size(), 2u);
  const std::vector<std::u16string> expected = {std::u16string(255, u'x'), u"", u"", std::u16string(255, u'値'),
                                                u"", u"", u""};
  EXPECT_EQ(cells[0], expected);
  EXPECT_TRUE(cells[1].empty());
}

TEST(DatabaseTree, WalksEndOnLoopingAndHugeTrees) {
  ArenaMemory m;
  // A sibling chain that loops back to its second node.
  const NodeAddress a = m.Obj("a", {}), b = m.Obj("b", {}), c = m.Obj("c", {});
  const NodeAddress root = m.Obj("db", {m.Obj("private", {a, b, c})});
  m.SetNext(c, b);
  const DatabaseListing listing = DatabaseWalker(m, DecodeUtf8).ListTables(root);
  EXPECT_EQ(EntryTexts(listing), (std::vector<std::string>{"#a", "#b", "#c"}));

  // A node whose chain is itself.
  const NodeAddress self = m.Num(nullptr, 1);
  m.SetNext(self, self);
  EXPECT_EQ(DatabaseWalker(m, DecodeUtf8).Chain(self).size(), 1u);

  // A chain longer than any real table is cut at the bound.
  NodeAddress first = 0, previous = 0;
  for (size_t i = 0; i < kMaxDatabaseChain + 10; ++i) {
    const NodeAddress node = m.Bool(nullptr, 1);
    if (previous) m.SetNext(previous, node); else first = node;
    previous = node;
  }
  EXPECT_EQ(DatabaseWalker(m, DecodeUtf8).Chain(first).size(), kMaxDatabaseChain);

  // Many columns over that long chain: the read budget ends the walk.
  std::vector<NodeAddress> columns;
  for (int i = 0; i < 40; ++i) columns.push_back(m.Node(kNodeArray, nullptr, first));
  for (size_t i = 1; i < columns.size(); ++i) m.SetNext(columns[i - 1], columns[i]);
  m.reads = 0;
  const auto cells = DatabaseWalker(m, DecodeUtf8).ReadCells(columns[0]);
  EXPECT_LE(m.reads, kMaxDatabaseNodeReads);
  size_t filled = 0;
  for (const auto& column : cells) filled += column.size();
  EXPECT_LT(filled, 40 * kMaxDatabaseChain);
}

}  // namespace
}  // namespace vnscope
