// Seeds for database_tree: the trees of the walker's tests, built with their
// arena, each with the operation the window runs on it.
#include "fuzz/common/op_stream.h"
#include "fuzz/monitors/database_tree_ops.h"
#include "monitors/database_arena.h"
#include "seeds/seed_registry.h"

namespace vnscope::fuzz {
namespace {

using namespace database_tree;
using test::ArenaMemory;

SeedBytes Walk(Operation operation, const ArenaMemory& arena, NodeAddress start) {
  return OpWriter().U8(operation).U16(static_cast<uint16_t>(start - ArenaMemory::kBase)).Bytes(arena.bytes()).bytes();
}

const SeedWriter kDatabaseTree("database_tree", [] {
  Seeds seeds;
  {
    ArenaMemory m;
    const NodeAddress items = m.Obj("items", {m.Num("name", 1), m.Str("name", "Items")});
    const NodeAddress root = m.Obj("maindb", {
        m.Obj("PRIVATE", {items, m.Str("loose", "not a table"), m.Obj(nullptr, {})}),
        m.Obj("other", {m.Obj("skipped", {})}),
        m.Obj("Common", {m.Obj("flags", {}), m.Obj("bad\xff", {})}),
    });
    seeds.emplace_back("tables", Walk(kList, m, root));
  }
  {
    ArenaMemory m;
    const NodeAddress table = m.Obj("t", {m.Str("name", "Items"),
                                          m.Arr("x", {m.Str(nullptr, "a"), m.Num(nullptr, 4)}),
                                          m.Arr("y", {m.Str(nullptr, "r"), m.Bool(nullptr, 1)}),
                                          m.Arr("data", {m.Arr(nullptr, {m.Num(nullptr, 1), m.Num(nullptr, -0.5)}),
                                                         m.Arr(nullptr, {m.Str(nullptr, "値"), m.Bool(nullptr, 0)})})});
    seeds.emplace_back("layout", Walk(kLayOut, m, table));
  }
  {
    ArenaMemory m;
    const NodeAddress first = m.Arr(nullptr, {m.Str(nullptr, "xxxx"), m.Str(nullptr, "\xff"), m.Node(9, nullptr, 0),
                                              m.Num(nullptr, 1e300), m.Num(nullptr, 2147483648.0)});
    m.SetNext(first, m.Num(nullptr, 5));
    seeds.emplace_back("cells", Walk(kCells, m, first));
  }
  {
    ArenaMemory m;
    const NodeAddress a = m.Obj("a", {}), b = m.Obj("b", {}), c = m.Obj("c", {});
    const NodeAddress root = m.Obj("db", {m.Obj("private", {a, b, c})});
    m.SetNext(c, b);
    seeds.emplace_back("loop", Walk(kList, m, root));
    seeds.emplace_back("loop-chain", Walk(kChain, m, a));
  }
  {
    // Columns that all share one chain: the read budget ends the walk.
    ArenaMemory m;
    NodeAddress first = 0, previous = 0;
    for (int i = 0; i < 40; ++i) {
      const NodeAddress node = m.Bool(nullptr, 1);
      if (previous) m.SetNext(previous, node); else first = node;
      previous = node;
    }
    NodeAddress column = 0;
    for (int i = 0; i < 8; ++i) {
      const NodeAddress next = m.Node(kNodeArray, nullptr, first);
      if (column) m.SetNext(next, column);
      column = next;
    }
    seeds.emplace_back("shared-columns", Walk(kCells, m, column));
  }
  return seeds;
});

}  // namespace
}  // namespace vnscope::fuzz
