// Building a committed variable store and reading its visible rows back, for
// the store's tests.
#pragma once
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "monitors/variable_store.h"
#include "prefix_comparisons.h"

namespace vnscope::test {

// AddVariableName for each name, then CommitVariables with `map`.
inline VariableStore Committed(std::initializer_list<std::u16string_view> names,
                               std::initializer_list<RegisterBinding> map = {},
                               PrefixEquals equals = ExactPrefix) {
  VariableStore store(equals);
  for (auto name : names) store.AddName(name);
  store.Commit(std::span<const RegisterBinding>(map.begin(), map.size()));
  return store;
}

// Each visible row as "kind:index".
inline std::vector<std::string> VisibleRows(const VariableStore& store) {
  std::vector<std::string> rows;
  for (size_t n = 0; n < store.VisibleRowCount(); ++n) {
    const VariableRow& row = store.Row(*store.RowAt(n));
    rows.push_back(std::to_string(row.kind) + ":" + std::to_string(row.index));
  }
  return rows;
}

// The text of one column in every visible row.
inline std::vector<std::u16string> ColumnTexts(const VariableStore& store, int column) {
  std::vector<std::u16string> texts;
  for (size_t n = 0; n < store.VisibleRowCount(); ++n) texts.push_back(store.Cell(n, column)->text);
  return texts;
}

}  // namespace vnscope::test
