#include "monitors/database_tree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "monitors/monitor_limits.h"

namespace vnscope {
namespace {

// The engine's memory played by a byte array: addresses are offsets from a
// nonzero base, so the 32-bit node layout is the same on any host.
class ArenaMemory : public DatabaseMemory {
 public:
  static constexpr NodeAddress kBase = 0x1000;

  NodeAddress Text(const char* text) {
    if (!text) return 0;
    const NodeAddress address = Here();
    bytes_.insert(bytes_.end(), text, text + std::strlen(text) + 1);
    return address;
  }
  // A node with its children chained in order.
  NodeAddress Node(int32_t type, const char* key, uint64_t value8, std::initializer_list<NodeAddress> children = {}) {
    NodeAddress first = 0, last = 0;
    for (NodeAddress child : children) {
      if (last) SetNext(last, child); else first = child;
      last = child;
    }
    if (children.size() != 0) value8 = first;
    const NodeAddress keyAddress = Text(key);
    const NodeAddress address = Here();
    bytes_.resize(bytes_.size() + kDatabaseNodeSize, 0);
    Put32(address + 8, static_cast<uint32_t>(type));
    Put32(address + 12, keyAddress);
    Put32(address + 16, static_cast<uint32_t>(value8));
    Put32(address + 20, static_cast<uint32_t>(value8 >> 32));
    return address;
  }
  NodeAddress Str(const char* key, const char* text) { return Node(kNodeString, key, Text(text)); }
  NodeAddress Num(const char* key, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return Node(kNodeNumber, key, bits);
  }
  NodeAddress Bool(const char* key, int32_t v) { return Node(kNodeBoolean, key, static_cast<uint32_t>(v)); }
  NodeAddress Obj(const char* key, std::initializer_list<NodeAddress> c) { return Node(kNodeObject, key, 0, c); }
  NodeAddress Arr(const char* key, std::initializer_list<NodeAddress> c) { return Node(kNodeArray, key, 0, c); }

  void SetNext(NodeAddress node, NodeAddress next) { Put32(node + 4, next); }
  size_t reads = 0;

  bool Read(NodeAddress address, void* out, size_t size) const override {
    if (address < kBase || address - kBase + size > bytes_.size()) return false;
    ++const_cast<ArenaMemory*>(this)->reads;
    std::memcpy(out, &bytes_[address - kBase], size);
    return true;
  }
  bool ReadText(NodeAddress address, size_t maxBytes, std::string* text) const override {
    if (address < kBase) return false;
    text->clear();
    for (size_t i = address - kBase; i < bytes_.size() && bytes_[i] != 0; ++i) {
      if (text->size() == maxBytes) return false;
      text->push_back(static_cast<char>(bytes_[i]));
    }
    return true;
  }

 private:
  NodeAddress Here() const { return kBase + static_cast<NodeAddress>(bytes_.size()); }
  void Put32(NodeAddress at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at - kBase + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  std::vector<uint8_t> bytes_;
};

// Strict UTF-8 of up to three bytes; anything else fails, as an unconvertible text.
bool DecodeUtf8(std::string_view in, std::u16string* out) {
  out->clear();
  for (size_t i = 0; i < in.size();) {
    const auto b = static_cast<unsigned char>(in[i]);
    const size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : 0;
    if (n == 0 || i + n > in.size()) return false;
    char16_t unit = n == 1 ? b : n == 2 ? (b & 0x1F) : (b & 0x0F);
    for (size_t k = 1; k < n; ++k) {
      const auto c = static_cast<unsigned char>(in[i + k]);
      if ((c >> 6) != 2) return false;
      unit = static_cast<char16_t>(unit << 6 | (c & 0x3F));
    }
    out->push_back(unit);
    i += n;
  }
  return true;
}

std::string Narrow(const std::u16string& t) { return std::string(t.begin(), t.end()); }

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
