// The database monitor's walks over random node graphs in a byte array
// (loops, deep and overlong chains, nodes overlapping each other): each
// operation must end within the read budget and grid bounds of
// monitor_limits.h, ask for no text longer than its limits, agree with a
// literal chain walk, and give grid texts within their cut.
#include <cmath>
#include <cstdlib>
#include <string>
#include <unordered_set>

#include "fuzz/fuzz_support.h"
#include "fuzz/monitors/database_tree_ops.h"
#include "monitors/database_arena.h"
#include "monitors/database_tree.h"
#include "monitors/monitor_limits.h"

namespace vnscope::fuzz {
namespace {

// Chains are compared up to this many nodes, more than any input holds.
constexpr size_t kChainCap = 1 << 16;
// Cells read from a start node: as many as the grid shows of one column.
constexpr size_t kCellRows = kMaxDatabaseGridCells / 2;

// Counts every read the walk asks for and holds each text read to its bound.
class CountingMemory final : public DatabaseMemory {
 public:
  explicit CountingMemory(const test::ArenaMemory& arena) : arena_(arena) {}
  bool Read(NodeAddress address, void* out, size_t size) const override {
    ++reads;
    Check(size == kDatabaseNodeSize);
    return arena_.Read(address, out, size);
  }
  bool ReadText(NodeAddress address, size_t maxBytes, std::string* text) const override {
    Check(maxBytes <= kMaxDatabaseKeyBytes);
    const bool read = arena_.ReadText(address, maxBytes, text);
    Check(!read || text->size() <= maxBytes);
    return read;
  }
  mutable size_t reads = 0;

 private:
  const test::ArenaMemory& arena_;
};

// The chain as its definition reads: next pointers from `first` until the
// null address, a node that cannot be read, one already passed, or the cap.
std::vector<NodeAddress> LiteralChain(const test::ArenaMemory& arena, NodeAddress first) {
  std::vector<NodeAddress> chain;
  std::unordered_set<NodeAddress> passed;
  for (NodeAddress at = first; at != 0 && chain.size() < kChainCap && passed.insert(at).second;) {
    uint8_t node[kDatabaseNodeSize];
    if (!arena.Read(at, node, sizeof(node))) break;
    chain.push_back(at);
    at = static_cast<NodeAddress>(node[4] | node[5] << 8 | node[6] << 16 | uint32_t{node[7]} << 24);
  }
  return chain;
}

void CheckGridText(const std::u16string& text) { Check(text.size() <= kMaxDatabaseCellText); }

// A number's text reads back as its value to the three decimals it shows.
void CheckNumberText(double value, const std::u16string& text) {
  Check(!text.empty());
  const std::string narrow(text.begin(), text.end());
  const double shown = std::strtod(narrow.c_str(), nullptr);
  if (std::isnan(value)) Check(std::isnan(shown));
  else if (std::isinf(value)) Check(shown == value);
  else Check(std::fabs(shown - value) <= 0.0005 + std::fabs(value) * 1e-15);
}

}  // namespace
}  // namespace vnscope::fuzz

// Input: one byte for the operation, two for the start's offset into the
// arena, then the arena's bytes (addresses from ArenaMemory::kBase).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vnscope;
  using namespace vnscope::fuzz;
  using namespace vnscope::fuzz::database_tree;
  OpReader in(data, size);
  const uint8_t operation = in.U8();
  const NodeAddress start = test::ArenaMemory::kBase + in.U16();
  const std::span<const uint8_t> rest = in.Bytes(in.left());
  const test::ArenaMemory arena(std::vector<uint8_t>(rest.begin(), rest.end()));
  CountingMemory memory(arena);
  DatabaseWalker walker(memory, test::DecodeUtf8);
  switch (operation % kOperations) {
    case kList: {
      const DatabaseListing listing = walker.ListTables(start);
      for (const TableEntry& table : listing.tables) Check(table.table != 0);
      break;
    }
    case kLayOut: {
      const TableLayout layout = walker.LayOutTable(start);
      CheckGridText(layout.title);
      for (const auto& text : layout.columns) CheckGridText(text);
      for (const auto& text : layout.rowHeadings) CheckGridText(text);
      Check(layout.columns.size() <= kMaxDatabaseGridColumns &&
            (layout.columns.size() + 1) * layout.rowHeadings.size() <= kMaxDatabaseGridCells);
      Check(!walker.Exhausted() || layout.cut);
      // Unless the table was cut, "data" holds one column a heading and one
      // cell a row heading in each, as a fresh walk reads it too.
      if (layout.data != 0 && !layout.cut) {
        CountingMemory again(arena);
        DatabaseWalker cellWalker(again, test::DecodeUtf8);
        const auto cells = cellWalker.ReadCells(layout.data, layout.columns.size(), layout.rowHeadings.size());
        if (!cellWalker.Exhausted()) {
          Check(cells.size() == layout.columns.size());
          for (const auto& column : cells) Check(column.size() == layout.rowHeadings.size());
        }
      }
      break;
    }
    case kCells: {
      const auto cells = walker.ReadCells(start, kMaxDatabaseGridColumns, kCellRows);
      Check(cells.size() <= kMaxDatabaseGridColumns);
      for (const auto& column : cells) {
        Check(column.size() <= kCellRows);
        for (const auto& text : column) CheckGridText(text);
      }
      break;
    }
    default: {  // kChain
      const auto chain = walker.Chain(start, kChainCap);
      Check(walker.ChainLength(start, kChainCap) == chain.size());
      const std::vector<NodeAddress> literal = LiteralChain(arena, start);
      Check(chain.size() == literal.size());
      for (size_t i = 0; i < chain.size(); ++i) {
        Check(chain[i].first == literal[i]);
        if (chain[i].second.type == kNodeNumber) {
          CheckNumberText(chain[i].second.number, FormatDatabaseNumber(chain[i].second.number));
        }
      }
      break;
    }
  }
  Check(memory.reads <= kMaxDatabaseNodeReads);
  return 0;
}
