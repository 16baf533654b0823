#include "monitors/database_tree.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "monitors/monitor_limits.h"

namespace vnscope {
namespace {

constexpr char16_t kDefaultTitle[] = u"項目名";
constexpr char16_t kDefaultColumn[] = u"値";
constexpr char16_t kDefaultRow[] = u"項目";

uint32_t ReadLe32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool IsContainer(const DatabaseNode32& node) { return node.type == kNodeObject || node.type == kNodeArray; }

std::u16string Ascii(const char* text) { return std::u16string(text, text + std::strlen(text)); }

}  // namespace

std::u16string FormatDatabaseNumber(double value) {
  // A whole number inside the 32-bit range reads as an integer. The range
  // test comes first: converting a double outside it to int is undefined.
  const double whole = std::floor(value);
  if (whole == value && whole >= -2147483648.0 && whole <= 2147483647.0) {
    return Ascii(std::to_string(static_cast<int32_t>(whole)).c_str());
  }
  const int length = std::snprintf(nullptr, 0, "%.3f", value);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), "%.3f", value);
  text.resize(static_cast<size_t>(length));
  return Ascii(text.c_str());
}

std::optional<DatabaseNode32> DatabaseWalker::Node(NodeAddress address) {
  if (address == 0 || Exhausted()) return std::nullopt;
  ++reads_;
  uint8_t bytes[kDatabaseNodeSize];
  if (!memory_.Read(address, bytes, sizeof(bytes))) return std::nullopt;
  DatabaseNode32 node;
  node.next = ReadLe32(bytes + 4);
  node.type = static_cast<int32_t>(ReadLe32(bytes + 8));
  node.key = ReadLe32(bytes + 12);
  node.word = ReadLe32(bytes + 16);
  std::memcpy(&node.number, bytes + 16, sizeof(node.number));
  return node;
}

bool DatabaseWalker::Exhausted() const { return reads_ >= kMaxDatabaseNodeReads; }

NodeAddress DatabaseWalker::NextOf(NodeAddress address) {
  const std::optional<DatabaseNode32> node = Node(address);
  return node ? node->next : 0;
}

size_t DatabaseWalker::ChainLength(NodeAddress first, size_t cap) {
  // No chain can be longer than the reads a walk may make.
  cap = std::min(cap, kMaxDatabaseNodeReads);
  // Brent's cycle detection: the tortoise waits at positions 2^k - 1 while
  // the hare walks on, and the hare meets it again only inside a loop. It
  // does so by position 3 x (nodes before the repetition) + 2, so a hare
  // that gets further has passed more than `cap` distinct nodes.
  const size_t giveUp = 3 * (cap + 1) + 2;
  std::optional<DatabaseNode32> node = Node(first);
  if (!node) return 0;
  NodeAddress tortoise = first;
  size_t length = 1;  // nodes the hare has passed, all readable
  size_t power = 1, loop = 1;
  for (NodeAddress hare = node->next; hare != tortoise; hare = node->next, ++length, ++loop) {
    if (length > giveUp) return cap + 1;
    node = Node(hare);
    if (!node) return std::min(length, cap + 1);
    if (power == loop) {
      tortoise = hare;
      power *= 2;
      loop = 0;
    }
  }
  // A loop of `loop` nodes, entered after `lead` others: two walkers that
  // far apart meet first at its entry.
  NodeAddress behind = first, ahead = first;
  for (size_t i = 0; i < loop; ++i) ahead = NextOf(ahead);
  size_t lead = 0;
  while (behind != ahead) {
    behind = NextOf(behind);
    ahead = NextOf(ahead);
    ++lead;
  }
  return std::min(lead + loop, cap + 1);
}

template <class Visit>
void DatabaseWalker::ForEachInChain(NodeAddress first, size_t count, Visit visit) {
  NodeAddress address = first;
  for (size_t i = 0; i < count && address != 0; ++i) {
    const std::optional<DatabaseNode32> node = Node(address);
    if (!node || !visit(address, *node)) return;
    address = node->next;
  }
}

NodeChain DatabaseWalker::Chain(NodeAddress first, size_t cap) {
  NodeChain chain;
  ForEachInChain(first, std::min(ChainLength(first, cap), cap), [&](NodeAddress address, const DatabaseNode32& node) {
    chain.emplace_back(address, node);
    return true;
  });
  return chain;
}

size_t DatabaseWalker::ChildCount(const DatabaseNode32& node, size_t cap) {
  return IsContainer(node) ? ChainLength(node.word, cap) : 0;
}

bool DatabaseWalker::KeyIs(const DatabaseNode32& node, std::string_view key, bool ignoreAsciiCase) {
  std::string text;
  // A key longer than the one looked for cannot match; no need to read it all.
  if (!memory_.ReadText(node.key, key.size(), &text)) return false;
  return ignoreAsciiCase ? EqualIgnoringAsciiCase(text, key) : text == key;
}

std::optional<DatabaseNode32> DatabaseWalker::Member(const DatabaseNode32& node, std::string_view key,
                                                     int32_t type) {
  std::optional<DatabaseNode32> found;
  if (!IsContainer(node)) return found;
  ForEachInChain(node.word, ChainLength(node.word, kMaxDatabaseNodeReads), [&](NodeAddress, const DatabaseNode32& child) {
    if (child.type == type && KeyIs(child, key, false)) found = child;
    return !found;
  });
  return found;
}

std::u16string DatabaseWalker::GridTextOf(std::u16string text) const {
  return text.size() <= kMaxDatabaseCellText ? text : std::u16string();
}

std::u16string DatabaseWalker::GridText(const DatabaseNode32& node) {
  std::string utf8;
  std::u16string text;
  if (!memory_.ReadText(node.word, kMaxDatabaseCellBytes, &utf8) || !decode_(utf8, &text)) return {};
  return GridTextOf(std::move(text));
}

std::u16string DatabaseWalker::CellText(const DatabaseNode32& node) {
  switch (node.type) {
    case kNodeString: return GridText(node);
    case kNodeNumber: return GridTextOf(FormatDatabaseNumber(node.number));
    case kNodeBoolean: return node.word != 0 ? u"true" : u"false";
    default: return {};
  }
}

DatabaseListing DatabaseWalker::ListTables(NodeAddress rootAddress) {
  DatabaseListing listing;
  const std::optional<DatabaseNode32> root = Node(rootAddress);
  if (!root || root->type != kNodeObject) return listing;
  listing.isObject = true;
  std::string key;
  std::u16string name;
  if (memory_.ReadText(root->key, kMaxDatabaseKeyBytes, &key) && decode_(key, &name)) listing.name = name;

  // Walked in place: a listing holds the tables, never the chains.
  const auto eachChild = [this](const DatabaseNode32& node, auto visit) {
    ForEachInChain(node.word, ChainLength(node.word, kMaxDatabaseNodeReads),
                   [&](NodeAddress address, const DatabaseNode32& child) {
                     visit(address, child);
                     return true;
                   });
  };
  eachChild(*root, [&](NodeAddress, const DatabaseNode32& scope) {
    if (scope.type != kNodeObject) return;
    char sigil;
    if (KeyIs(scope, "private", true)) {
      sigil = '#';
    } else if (KeyIs(scope, "common", true)) {
      sigil = '@';
    } else {
      return;
    }
    eachChild(scope, [&](NodeAddress tableAddress, const DatabaseNode32& table) {
      if (table.type != kNodeObject || table.key == 0) return;
      std::string entry(1, sigil);
      std::string part;
      if (!memory_.ReadText(table.key, kMaxDatabaseKeyBytes, &part)) return;
      entry += part;
      if (const auto display = Member(table, "name", kNodeString);
          display && memory_.ReadText(display->word, kMaxDatabaseKeyBytes, &part)) {
        entry += "(" + part + ")";
      }
      TableEntry tableEntry{{}, tableAddress};
      if (!decode_(entry, &tableEntry.text)) return;
      listing.tables.push_back(std::move(tableEntry));
    });
  });
  return listing;
}

size_t DatabaseWalker::Headings(const std::optional<DatabaseNode32>& array, size_t cap, const char16_t* other,
                                std::vector<std::u16string>* headings) {
  if (!array) return 0;
  const size_t length = ChainLength(array->word, cap);
  headings->reserve(std::min(length, cap));
  ForEachInChain(array->word, std::min(length, cap), [&](NodeAddress, const DatabaseNode32& heading) {
    headings->push_back(heading.type == kNodeString ? GridText(heading) : other);
    return true;
  });
  return length;
}

TableLayout DatabaseWalker::LayOutTable(NodeAddress tableAddress) {
  TableLayout layout;
  layout.title = kDefaultTitle;
  const std::optional<DatabaseNode32> table = Node(tableAddress);
  if (!table) return layout;
  if (const auto display = Member(*table, "name", kNodeString)) layout.title = GridText(*display);

  const size_t columnCount =
      Headings(Member(*table, "x", kNodeArray), kMaxDatabaseGridColumns, kDefaultColumn, &layout.columns);
  const size_t shownColumns = layout.columns.size();
  // The row headings take a column of their own.
  const size_t rowCount = Headings(Member(*table, "y", kNodeArray), kMaxDatabaseGridCells / (shownColumns + 1),
                                   kDefaultRow, &layout.rowHeadings);
  const size_t shownRows = layout.rowHeadings.size();
  layout.cut = columnCount > shownColumns || rowCount > shownRows;
  if (const auto data = Member(*table, "data", kNodeArray)) {
    // A whole table: one column a heading, each with one value a row heading.
    // A cut table, whose full size is not counted: the part shown is there
    // in full.
    const size_t dataColumns = ChainLength(data->word, shownColumns);
    bool matches = layout.cut ? dataColumns >= shownColumns : dataColumns == columnCount;
    ForEachInChain(data->word, shownColumns, [&](NodeAddress, const DatabaseNode32& column) {
      const size_t values = ChildCount(column, shownRows);
      matches = matches && (layout.cut ? values >= shownRows : values == rowCount);
      return matches;
    });
    if (matches) layout.data = data->word;
  }
  if (Exhausted()) layout.cut = true;
  return layout;
}

bool DatabaseWalker::VisitCells(NodeAddress data, size_t columns, size_t rows,
                                const std::function<void(size_t, size_t, std::u16string_view)>& visit) {
  size_t c = 0;
  ForEachInChain(data, std::min(ChainLength(data, columns), columns), [&](NodeAddress, const DatabaseNode32& column) {
    size_t r = 0;
    if (IsContainer(column)) {
      ForEachInChain(column.word, std::min(ChainLength(column.word, rows), rows),
                     [&](NodeAddress, const DatabaseNode32& value) {
                       visit(c, r++, CellText(value));
                       return true;
                     });
    }
    ++c;
    return true;
  });
  return !Exhausted();
}

std::vector<std::vector<std::u16string>> DatabaseWalker::ReadCells(NodeAddress data, size_t columns, size_t rows) {
  std::vector<std::vector<std::u16string>> cells(std::min(ChainLength(data, columns), columns));
  VisitCells(data, columns, rows, [&](size_t c, size_t r, std::u16string_view text) {
    if (c < cells.size() && r == cells[c].size()) cells[c].emplace_back(text);
  });
  return cells;
}

}  // namespace vnscope
