// The operations of the database_tree target's input, shared with its seeds.
#pragma once
#include <cstdint>

namespace vnscope::fuzz::database_tree {

// The input's first byte (modulo kOperations) picks the walk the window runs
// from the start node: U16 start offset, then the arena's bytes.
enum Operation : uint8_t { kList, kLayOut, kCells, kChain, kOperations };

}  // namespace vnscope::fuzz::database_tree
