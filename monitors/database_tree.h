// The database monitor's walk over the engine's database tree: the tables it
// lists, the layout of one table and its cell texts. The tree lives in the
// engine's memory with a 32-bit layout and is read through DatabaseMemory,
// so the walk itself touches no pointer of the engine's.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vnscope {

// A node's address in the engine's 32-bit address space; 0 is null.
using NodeAddress = uint32_t;

enum DatabaseNodeType : int32_t {
  kNodeString = 1,
  kNodeNumber = 2,
  kNodeBoolean = 3,
  kNodeObject = 4,
  kNodeArray = 5,
};

// The 24-byte node: next sibling at 4, type at 8, key at 12, value at 16.
inline constexpr size_t kDatabaseNodeSize = 24;

struct DatabaseNode32 {
  NodeAddress next = 0;
  int32_t type = 0;
  NodeAddress key = 0;
  uint32_t word = 0;  // text pointer, boolean or first child
  double number = 0;  // the same 8 bytes read as a double
};

// Reading the engine's memory. The DLL dereferences the addresses; tests
// serve nodes from a byte array.
class DatabaseMemory {
 public:
  virtual ~DatabaseMemory() = default;
  // Copies `size` bytes at `address`; false for the null address.
  virtual bool Read(NodeAddress address, void* out, size_t size) const = 0;
  // The NUL-terminated bytes at `address`; false for the null address or
  // when no NUL comes within `maxBytes`.
  virtual bool ReadText(NodeAddress address, size_t maxBytes, std::string* text) const = 0;
};

// UTF-8 to UTF-16 with the system conversion; false when it fails.
using Utf8Decoder = bool (*)(std::string_view utf8, std::u16string* out);

struct TableEntry {
  std::u16string text;  // "#items(Items)", "@flags"
  NodeAddress table = 0;
};

struct DatabaseListing {
  bool isObject = false;             // false: not a database the monitor can show
  std::optional<std::u16string> name;  // the root's key, when it converts
  std::vector<TableEntry> tables;    // in tree order, "private" then "common" as met
};

struct TableLayout {
  std::u16string title;                     // column 0
  std::vector<std::u16string> columns;      // columns 1 onwards, as many as are shown
  std::vector<std::u16string> rowHeadings;  // rows 0 onwards, as many as are shown
  NodeAddress data = 0;  // first column of "data" when its shape matches, else 0
  // More columns or rows than the grid's bounds take, or a walk that reached
  // its read bound: the grid shows what is here and says the table was cut.
  bool cut = false;
};

// The nodes of a chain in order, with their addresses.
using NodeChain = std::vector<std::pair<NodeAddress, DatabaseNode32>>;

// Every walk ends: a sibling chain stops before a node it has already passed
// (found without remembering the nodes, so any length costs no memory), and
// one walk reads at most kMaxDatabaseNodeReads nodes, after which further
// nodes read as missing. A table within kMaxDatabaseGridCells cells and
// kMaxDatabaseGridColumns columns is read whole.
class DatabaseWalker {
 public:
  DatabaseWalker(const DatabaseMemory& memory, Utf8Decoder decode) : memory_(memory), decode_(decode) {}

  // LoadDatabase: the root's name and the tables under its "private" ("#")
  // and "common" ("@") objects, keys compared without ASCII case.
  DatabaseListing ListTables(NodeAddress root);
  // The headings of a table, as many as the grid's bounds take; `data` is
  // set when "data" holds one array per column heading, each with one value
  // per row heading (for a cut table: as far as the headings shown reach).
  TableLayout LayOutTable(NodeAddress table);
  // Calls visit(c, r, text) for the cells of the first `columns` columns
  // chained from `data` and their first `rows` values: column c + 1, row r.
  // A column node that is no object or array has none. False when the walk
  // reached its read bound before the end.
  bool VisitCells(NodeAddress data, size_t columns, size_t rows,
                  const std::function<void(size_t, size_t, std::u16string_view)>& visit);
  // The same cells collected: cells[c][r].
  std::vector<std::vector<std::u16string>> ReadCells(NodeAddress data, size_t columns, size_t rows);

  // How many nodes the chain from `first` has before it ends (the null
  // address or an unreadable node) or would repeat one; more than `cap`
  // gives cap + 1.
  size_t ChainLength(NodeAddress first, size_t cap);
  // The first ChainLength(first, cap) nodes of the chain, at most `cap`.
  NodeChain Chain(NodeAddress first, size_t cap);
  std::optional<DatabaseNode32> Node(NodeAddress address);
  // Whether this walk has used up its reads.
  bool Exhausted() const;

 private:
  // Calls visit(address, node) for the first `count` nodes of the chain
  // while it returns true.
  template <class Visit>
  void ForEachInChain(NodeAddress first, size_t count, Visit visit);
  NodeAddress NextOf(NodeAddress address);
  size_t ChildCount(const DatabaseNode32& node, size_t cap);
  // The first child of `node` with this type whose key equals `key` byte for byte.
  std::optional<DatabaseNode32> Member(const DatabaseNode32& node, std::string_view key, int32_t type);
  bool KeyIs(const DatabaseNode32& node, std::string_view key, bool ignoreAsciiCase);
  // Text of a string node for the grid; empty when it does not convert or is too long.
  std::u16string GridText(const DatabaseNode32& node);
  std::u16string GridTextOf(std::u16string text) const;
  std::u16string CellText(const DatabaseNode32& node);
  // The headings of "x" or "y": up to `cap` of the chain's nodes, each a
  // string's text or `other`. Returns the chain's length up to cap + 1.
  size_t Headings(const std::optional<DatabaseNode32>& array, size_t cap, const char16_t* other,
                  std::vector<std::u16string>* headings);

  const DatabaseMemory& memory_;
  Utf8Decoder decode_;
  size_t reads_ = 0;
};

// The text of a number cell: a whole value within 32 bits as "%d", any other
// as "%.3lf" (3 gives "3", -0.5 gives "-0.500").
std::u16string FormatDatabaseNumber(double value);

}  // namespace vnscope
