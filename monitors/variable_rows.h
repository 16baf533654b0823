// The variable list's table entries and the rows that show them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vnscope {

struct Variable {
  std::u16string name;  // sigil included, as the engine sent it
  int32_t value = 0;
  int32_t registerNumber = -1;  // 0 to 65535, or -1 when unbound
};

enum VariableRowKind : int32_t {
  kRowLastMember = -3,
  kRowMember = -2,
  kRowPlain = -1,
  kRowCollapsedGroup = 0,
  kRowExpandedGroup = 1,
};

struct VariableRow {
  int32_t kind = kRowPlain;
  int32_t index = 0;                 // table position; a group's first member
  std::vector<VariableRow> members;  // a group's rows
};

inline bool IsGroup(const VariableRow& row) {
  return row.kind == kRowCollapsedGroup || row.kind == kRowExpandedGroup;
}

}  // namespace vnscope
