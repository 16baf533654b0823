#include "monitors/database_tree.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_set>

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
  if (address == 0 || reads_ >= kMaxDatabaseNodeReads) return std::nullopt;
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

std::vector<std::pair<NodeAddress, DatabaseNode32>> DatabaseWalker::Chain(NodeAddress first) {
  std::vector<std::pair<NodeAddress, DatabaseNode32>> chain;
  std::unordered_set<NodeAddress> passed;
  for (NodeAddress address = first; address != 0 && chain.size() < kMaxDatabaseChain;) {
    // A chain that loops back ends where it would repeat itself.
    if (!passed.insert(address).second) break;
    const std::optional<DatabaseNode32> node = Node(address);
    if (!node) break;
    chain.emplace_back(address, *node);
    address = node->next;
  }
  return chain;
}

std::vector<std::pair<NodeAddress, DatabaseNode32>> DatabaseWalker::Children(const DatabaseNode32& node) {
  if (!IsContainer(node)) return {};
  return Chain(node.word);
}

size_t DatabaseWalker::ChildCount(const DatabaseNode32& node) { return Children(node).size(); }

bool DatabaseWalker::KeyIs(const DatabaseNode32& node, std::string_view key, bool ignoreAsciiCase) {
  std::string text;
  // A key longer than the one looked for cannot match; no need to read it all.
  if (!memory_.ReadText(node.key, key.size(), &text)) return false;
  return ignoreAsciiCase ? EqualIgnoringAsciiCase(text, key) : text == key;
}

std::optional<DatabaseNode32> DatabaseWalker::Member(const DatabaseNode32& node, std::string_view key,
                                                     int32_t type) {
  for (const auto& [address, child] : Children(node)) {
    if (child.type == type && KeyIs(child, key, false)) return child;
  }
  return std::nullopt;
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

  for (const auto& [scopeAddress, scope] : Children(*root)) {
    if (scope.type != kNodeObject) continue;
    char sigil;
    if (KeyIs(scope, "private", true)) {
      sigil = '#';
    } else if (KeyIs(scope, "common", true)) {
      sigil = '@';
    } else {
      continue;
    }
    for (const auto& [tableAddress, table] : Children(scope)) {
      if (table.type != kNodeObject || table.key == 0) continue;
      std::string entry(1, sigil);
      std::string part;
      if (!memory_.ReadText(table.key, kMaxDatabaseKeyBytes, &part)) continue;
      entry += part;
      if (const auto display = Member(table, "name", kNodeString);
          display && memory_.ReadText(display->word, kMaxDatabaseKeyBytes, &part)) {
        entry += "(" + part + ")";
      }
      TableEntry tableEntry{{}, tableAddress};
      if (!decode_(entry, &tableEntry.text)) continue;
      listing.tables.push_back(std::move(tableEntry));
    }
  }
  return listing;
}

TableLayout DatabaseWalker::LayOutTable(NodeAddress tableAddress) {
  TableLayout layout;
  layout.title = kDefaultTitle;
  const std::optional<DatabaseNode32> table = Node(tableAddress);
  if (!table) return layout;
  if (const auto display = Member(*table, "name", kNodeString)) layout.title = GridText(*display);

  size_t columnCount = 0;
  if (const auto x = Member(*table, "x", kNodeArray)) {
    for (const auto& [address, heading] : Children(*x)) {
      layout.columns.push_back(heading.type == kNodeString ? GridText(heading) : kDefaultColumn);
    }
    columnCount = layout.columns.size();
  }
  size_t rowCount = 0;
  if (const auto y = Member(*table, "y", kNodeArray)) {
    for (const auto& [address, heading] : Children(*y)) {
      layout.rowHeadings.push_back(heading.type == kNodeString ? GridText(heading) : kDefaultRow);
    }
    rowCount = layout.rowHeadings.size();
  }
  if (const auto data = Member(*table, "data", kNodeArray)) {
    const auto columns = Children(*data);
    bool matches = columns.size() == columnCount;
    for (size_t c = 0; matches && c < columns.size(); ++c) matches = ChildCount(columns[c].second) == rowCount;
    if (matches) layout.data = data->word;
  }
  return layout;
}

std::vector<std::vector<std::u16string>> DatabaseWalker::ReadCells(NodeAddress data) {
  std::vector<std::vector<std::u16string>> cells;
  for (const auto& [columnAddress, column] : Chain(data)) {
    std::vector<std::u16string>& texts = cells.emplace_back();
    for (const auto& [valueAddress, value] : Children(column)) texts.push_back(CellText(value));
  }
  return cells;
}

}  // namespace vnscope
