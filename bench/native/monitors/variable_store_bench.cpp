// The variable list at engine scale: 100,000 variables in 5,000 groups of 20.
// A display-text request must not walk the rows from the start; the literal
// walk from the start is kept here as the baseline it is measured against.
// A keystroke in the find box filters all 100,000 names; it is measured
// beside the unfiltered row lookup a paint makes for every row.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "monitors/variable_store.h"

namespace vnscope {
namespace {

constexpr int kGroups = 5000;
constexpr int kMembers = 20;

bool ExactPrefix(std::u16string_view a, std::u16string_view b) { return a == b; }

std::vector<std::u16string> Names() {
  std::vector<std::u16string> names;
  names.reserve(kGroups * kMembers);
  for (int g = 0; g < kGroups; ++g) {
    const std::string group = (g % 2 ? "@scene" : "#flag") + std::to_string(g) + ".";
    for (int m = 0; m < kMembers; ++m) {
      const std::string name = group + "value" + std::to_string(m);
      names.emplace_back(name.begin(), name.end());
    }
  }
  return names;
}

// Every `stride`-th group expanded: 2 gives half of them, 1 all of them.
VariableStore MakeStore(int stride) {
  VariableStore store(ExactPrefix);
  for (const std::u16string& name : Names()) store.AddName(name);
  store.Commit({});
  for (size_t top = 0; top < store.rows().size(); top += static_cast<size_t>(stride)) store.Toggle(top);
  return store;
}

// The row at a visible position found by walking the rows from the start.
const VariableRow* LiteralRowAt(const VariableStore& store, size_t visible) {
  size_t passed = 0;
  for (const VariableRow& row : store.rows()) {
    if (passed++ == visible) return &row;
    if (row.kind != kRowExpandedGroup) continue;
    for (const VariableRow& member : row.members) {
      if (passed++ == visible) return &member;
    }
  }
  return nullptr;
}

// The value cell's text after the literal walk, as a request would build it.
std::u16string LiteralValueText(const VariableStore& store, size_t visible) {
  const VariableRow* row = LiteralRowAt(store, visible);
  if (!row) return {};
  const std::string text = std::to_string(store.table()[static_cast<size_t>(row->index)].value);
  return std::u16string(text.begin(), text.end());
}

// Rows spread evenly over the whole list.
std::vector<size_t> SpreadRows(const VariableStore& store, size_t count) {
  std::vector<size_t> rows;
  for (size_t i = 0; i < count; ++i) rows.push_back(i * (store.VisibleRowCount() - 1) / (count - 1));
  return rows;
}

void BM_DisplayTextSpread(benchmark::State& state) {
  const VariableStore store = MakeStore(2);
  const std::vector<size_t> rows = SpreadRows(store, 1000);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(store.Cell(rows[i], 1));
    i = (i + 1) % rows.size();
  }
  state.counters["visible_rows"] = static_cast<double>(store.VisibleRowCount());
}
BENCHMARK(BM_DisplayTextSpread);

void BM_LiteralWalkSpread(benchmark::State& state) {
  const VariableStore store = MakeStore(2);
  const std::vector<size_t> rows = SpreadRows(store, 1000);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(LiteralValueText(store, rows[i]));
    i = (i + 1) % rows.size();
  }
}
BENCHMARK(BM_LiteralWalkSpread);

// Row 100,000 exists once every group is expanded (105,000 visible rows).
void BM_DisplayTextRow100000(benchmark::State& state) {
  const VariableStore store = MakeStore(1);
  for (auto _ : state) benchmark::DoNotOptimize(store.Cell(100000, 1));
}
BENCHMARK(BM_DisplayTextRow100000);

void BM_LiteralWalkRow100000(benchmark::State& state) {
  const VariableStore store = MakeStore(1);
  for (auto _ : state) benchmark::DoNotOptimize(LiteralValueText(store, 100000));
}
BENCHMARK(BM_LiteralWalkRow100000);

// AddVariableName for every name, then the commit that builds table and rows.
void BM_Commit100000Names(benchmark::State& state) {
  const std::vector<std::u16string> names = Names();
  for (auto _ : state) {
    VariableStore store(ExactPrefix);
    for (const std::u16string& name : names) store.AddName(name);
    store.Commit({});
    benchmark::DoNotOptimize(store.VisibleRowCount());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}
BENCHMARK(BM_Commit100000Names)->Unit(benchmark::kMillisecond);

// The row lookup of a paint, over the whole list without a filter.
void BM_RowLookupUnfiltered100000(benchmark::State& state) {
  const VariableStore store = MakeStore(1);
  const std::vector<size_t> rows = SpreadRows(store, 1000);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(store.RowAt(rows[i]));
    i = (i + 1) % rows.size();
  }
}
BENCHMARK(BM_RowLookupUnfiltered100000);

// Typing "value17" into the find box one letter at a time, and deleting it
// again: each keystroke filters the 100,000 names anew. The early letters
// match every name, the last ones one member in each group.
void BM_Filter100000Keystroke(benchmark::State& state) {
  VariableStore store = MakeStore(2);
  const std::u16string word = u"value17";
  std::vector<std::u16string> typed;
  for (size_t length = 1; length <= word.size(); ++length) typed.push_back(word.substr(0, length));
  for (size_t length = word.size() - 1; length > 1; --length) typed.push_back(word.substr(0, length));
  size_t i = 0;
  for (auto _ : state) {
    store.SetFilter(typed[i]);
    benchmark::DoNotOptimize(store.VisibleRowCount());
    i = (i + 1) % typed.size();
  }
}
BENCHMARK(BM_Filter100000Keystroke)->Unit(benchmark::kMillisecond);

// The slowest keystroke: a text every name holds, so that every group and
// every member is built into the filtered view.
void BM_Filter100000MatchEveryName(benchmark::State& state) {
  VariableStore store = MakeStore(2);
  size_t i = 0;
  for (auto _ : state) {
    store.SetFilter(i++ % 2 ? u"value" : u"VALUE");
    benchmark::DoNotOptimize(store.VisibleRowCount());
  }
}
BENCHMARK(BM_Filter100000MatchEveryName)->Unit(benchmark::kMillisecond);

// Expanding or collapsing one group in the middle of the list.
void BM_ToggleGroup(benchmark::State& state) {
  VariableStore store = MakeStore(2);
  const size_t middle = store.rows().size() / 2;
  for (auto _ : state) benchmark::DoNotOptimize(store.Toggle(middle));
}
BENCHMARK(BM_ToggleGroup);

}  // namespace
}  // namespace vnscope

BENCHMARK_MAIN();
