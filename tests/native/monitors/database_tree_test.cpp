#include "monitors/database_tree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

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
  const auto cells = DatabaseWalker(m, DecodeUtf8).ReadCells(first, 2, 7);
  ASSERT_EQ(cells.size(), 2u);
  const std::vector<std::u16string> expected = {std::u16string(255, u'x'), u"", u"", std::u16string(255, u'値'),
                                                u"", u"", u""};
  EXPECT_EQ(cells[0], expected);
  EXPECT_TRUE(cells[1].empty());
}

// A chain of `length` number nodes, the last one pointing back to node
// `loopTo` (none: the chain ends). Returns the first node.
NodeAddress BuildChain(ArenaMemory& m, size_t length, std::optional<size_t> loopTo = std::nullopt) {
  std::vector<NodeAddress> nodes;
  nodes.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    nodes.push_back(m.Num(nullptr, static_cast<double>(i)));
    if (i > 0) m.SetNext(nodes[i - 1], nodes[i]);
  }
  if (loopTo) m.SetNext(nodes.back(), nodes[*loopTo]);
  return nodes.front();
}

TEST(DatabaseTree, ChainsEndBeforeTheFirstRepeatedNode) {
  struct Case {
    const char* why;
    size_t length;
    std::optional<size_t> loopTo;
    size_t cap;
    size_t expected;  // the distinct nodes, or cap + 1 past the cap
  };
  const Case cases[] = {
      {"a node whose next is itself", 1, 0, 10, 1},
      {"a loop back to the start", 7, 0, 10, 7},
      {"a loop back to the middle", 7, 3, 10, 7},
      {"a loop back to the last node", 7, 6, 10, 7},
      {"a plain chain", 7, std::nullopt, 10, 7},
      {"exactly the cap", 10, 4, 10, 10},
      {"one past the cap", 11, std::nullopt, 10, 11},
      {"a loop longer than the cap", 40, 1, 10, 11},
      {"far past the chain bound there once was", 200000, std::nullopt, 1u << 20, 200000},
      {"a long lead into a long loop", 150000, 100000, 1u << 20, 150000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    ArenaMemory m;
    const NodeAddress first = BuildChain(m, c.length, c.loopTo);
    EXPECT_EQ(DatabaseWalker(m, DecodeUtf8).ChainLength(first, c.cap), c.expected);
    const NodeChain chain = DatabaseWalker(m, DecodeUtf8).Chain(first, c.cap);
    ASSERT_EQ(chain.size(), std::min(c.expected, c.cap));
    for (size_t i = 0; i < chain.size(); ++i) ASSERT_EQ(chain[i].second.number, static_cast<double>(i));
  }
}

TEST(DatabaseTree, WalksEndOnLoopingAndHugeTrees) {
  ArenaMemory m;
  // A sibling chain that loops back to its second node.
  const NodeAddress a = m.Obj("a", {}), b = m.Obj("b", {}), c = m.Obj("c", {});
  const NodeAddress root = m.Obj("db", {m.Obj("private", {a, b, c})});
  m.SetNext(c, b);
  const DatabaseListing listing = DatabaseWalker(m, DecodeUtf8).ListTables(root);
  EXPECT_EQ(EntryTexts(listing), (std::vector<std::string>{"#a", "#b", "#c"}));

  // Thousands of tables sharing one long member chain: a small tree that
  // reads as an endless one. The read budget ends the listing.
  const NodeAddress members = BuildChain(m, 20000);
  NodeAddress firstTable = 0, previous = 0;
  for (int i = 0; i < 20000; ++i) {
    const NodeAddress table = m.Node(kNodeObject, "t", members);
    if (previous) m.SetNext(previous, table); else firstTable = table;
    previous = table;
  }
  const NodeAddress shared = m.Obj("db", {m.Node(kNodeObject, "private", firstTable)});
  m.reads = 0;
  DatabaseWalker walker(m, DecodeUtf8);
  const DatabaseListing cutShort = walker.ListTables(shared);
  EXPECT_TRUE(walker.Exhausted());
  EXPECT_LE(m.reads, kMaxDatabaseNodeReads);
  EXPECT_GT(cutShort.tables.size(), 0u);
  EXPECT_LT(cutShort.tables.size(), 20000u);
}

// A table whose "data" columns all share one chain of values, so that a
// large grid needs few nodes: `columns` value columns, `rows` row headings
// and `values` values in each column.
NodeAddress SharedTable(ArenaMemory& m, size_t columns, size_t rows, size_t values) {
  const NodeAddress x = m.Node(kNodeArray, "x", BuildChain(m, columns));
  const NodeAddress y = m.Node(kNodeArray, "y", BuildChain(m, rows));
  const NodeAddress valueChain = BuildChain(m, values);
  NodeAddress first = 0, previous = 0;
  for (size_t i = 0; i < columns; ++i) {
    const NodeAddress column = m.Node(kNodeArray, nullptr, valueChain);
    if (previous) m.SetNext(previous, column); else first = column;
    previous = column;
  }
  const NodeAddress data = m.Node(kNodeArray, "data", first);
  m.SetNext(x, y);
  m.SetNext(y, data);
  return m.Node(kNodeObject, "t", x);
}

TEST(DatabaseTree, LargeValidTableIsReadWhole) {
  // 20 columns of 60,000 values, each value its own node: column c, row r holds c * 100000 + r.
  constexpr size_t kColumns = 20, kRows = 60000;
  ArenaMemory m;
  std::vector<NodeAddress> columnNodes;
  for (size_t c = 0; c < kColumns; ++c) {
    NodeAddress first = 0, previous = 0;
    for (size_t r = 0; r < kRows; ++r) {
      const NodeAddress value = m.Num(nullptr, static_cast<double>(c * 100000 + r));
      if (previous) m.SetNext(previous, value); else first = value;
      previous = value;
    }
    columnNodes.push_back(m.Node(kNodeArray, nullptr, first));
    if (c > 0) m.SetNext(columnNodes[c - 1], columnNodes[c]);
  }
  const NodeAddress x = m.Node(kNodeArray, "x", BuildChain(m, kColumns));
  const NodeAddress y = m.Node(kNodeArray, "y", BuildChain(m, kRows));
  const NodeAddress data = m.Node(kNodeArray, "data", columnNodes[0]);
  m.SetNext(x, y);
  m.SetNext(y, data);
  const NodeAddress table = m.Node(kNodeObject, "t", x);

  const TableLayout layout = DatabaseWalker(m, DecodeUtf8).LayOutTable(table);
  EXPECT_FALSE(layout.cut);
  EXPECT_EQ(layout.columns.size(), kColumns);
  EXPECT_EQ(layout.rowHeadings.size(), kRows);
  ASSERT_NE(layout.data, 0u);
  const auto cells = DatabaseWalker(m, DecodeUtf8).ReadCells(layout.data, kColumns, kRows);
  ASSERT_EQ(cells.size(), kColumns);
  for (size_t c = 0; c < kColumns; ++c) {
    ASSERT_EQ(cells[c].size(), kRows);
    EXPECT_EQ(Narrow(cells[c][0]), std::to_string(c * 100000));
    EXPECT_EQ(Narrow(cells[c][kRows - 1]), std::to_string(c * 100000 + kRows - 1));
  }
}

TEST(DatabaseTree, TablesPastTheGridBoundsAreCut) {
  struct Case {
    const char* why;
    size_t columns, rows, values;
    size_t shownColumns, shownRows;
    bool cut, hasData;
  };
  // With all the columns shown, rows take what is left of the cells, the
  // row headings counting as a column.
  const size_t rowsFor1023 = kMaxDatabaseGridCells / 1024;
  const Case cases[] = {
      {"the most columns, rows to fill the cells", kMaxDatabaseGridColumns, kMaxDatabaseGridCells / (kMaxDatabaseGridColumns + 1),
       kMaxDatabaseGridCells / (kMaxDatabaseGridColumns + 1), kMaxDatabaseGridColumns,
       kMaxDatabaseGridCells / (kMaxDatabaseGridColumns + 1), false, true},
      {"one column too many", kMaxDatabaseGridColumns + 1, 3, 3, kMaxDatabaseGridColumns, 3, true, true},
      {"one row too many", 1023, rowsFor1023 + 1, rowsFor1023 + 1, 1023, rowsFor1023, true, true},
      {"cut, and the columns shown are complete beyond the rows shown", 1023, rowsFor1023 + 5, rowsFor1023 + 9, 1023,
       rowsFor1023, true, true},
      {"cut, and the columns shown are short of the rows shown", 1023, rowsFor1023 + 5, rowsFor1023 - 1, 1023,
       rowsFor1023, true, false},
      {"whole, with columns one value short", 10, 10, 9, 10, 10, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    ArenaMemory m;
    const NodeAddress table = SharedTable(m, c.columns, c.rows, c.values);
    const TableLayout layout = DatabaseWalker(m, DecodeUtf8).LayOutTable(table);
    EXPECT_EQ(layout.cut, c.cut);
    EXPECT_EQ(layout.columns.size(), c.shownColumns);
    EXPECT_EQ(layout.rowHeadings.size(), c.shownRows);
    EXPECT_EQ(layout.data != 0, c.hasData);
    EXPECT_LE((layout.columns.size() + 1) * layout.rowHeadings.size(), kMaxDatabaseGridCells);
  }
}

}  // namespace
}  // namespace vnscope
