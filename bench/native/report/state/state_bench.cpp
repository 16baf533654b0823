// Time to build the game state's three entries into a package, and to plan
// a restore from them, for a script of 100,000 variables: the send does the
// first on the UI thread while the tester waits, the restore the second
// before it asks. The target is well under a second for each.
#include <benchmark/benchmark.h>

#include <ctime>
#include <string>
#include <vector>

#include "report/package/zip_writer.h"
#include "report/state/game_state_entries.h"
#include "report/state/reported_state.h"

namespace vnscope {
namespace {

constexpr size_t kVariables = 100'000;

// Names as scripts write them: a sigil, a group, a member; a few need quoting.
std::vector<GameVariable> MakeVariables() {
  std::vector<GameVariable> variables;
  variables.reserve(kVariables);
  for (size_t i = 0; i < kVariables; ++i) {
    const std::string digits = std::to_string(i);
    std::u16string name = (i % 3 ? u"#flag." : u"@シーン.") + std::u16string(digits.begin(), digits.end());
    if (i % 1000 == 0) name += u",\"x\"";
    variables.push_back({name, static_cast<int32_t>(i * 7919), i % 5 ? -1 : static_cast<int32_t>(i % 65536)});
  }
  return variables;
}

// A long run's log: far more than the 64 KiB the entry keeps.
std::u16string MakeLog() {
  std::u16string log;
  for (int i = 0; i < 20'000; ++i) log += u"[scene_01] 千早: セリフ " + std::u16string(20, u'x') + u"\r\n";
  return log;
}

void BM_GameStateEntriesInPackage(benchmark::State& state) {
  const std::vector<GameVariable> variables = MakeVariables();
  const std::u16string log = MakeLog();
  GameStateFacts facts;
  facts.label = u"第一章_開始";
  facts.time = u"2026-12-08T15:04:05+09:00";
  std::tm stamp{};
  stamp.tm_year = 126;
  stamp.tm_mday = 1;
  uint64_t bytes = 0;
  for (auto _ : state) {
    const std::vector<uint8_t> csv = VariablesEntry(variables);
    const std::vector<uint8_t> text = GameStateEntry(facts);
    const std::vector<uint8_t> tail = ExecutionLogEntry(log);
    ZipWriter writer;
    if (!writer.Start(stamp) || !writer.Add("variables.csv", csv.data(), static_cast<uint32_t>(csv.size())) ||
        !writer.Add("gamestate.txt", text.data(), static_cast<uint32_t>(text.size())) ||
        !writer.Add("executionlog.txt", tail.data(), static_cast<uint32_t>(tail.size()))) {
      state.SkipWithError("building the entries failed");
      break;
    }
    const auto package = writer.Finish();
    if (!package) {
      state.SkipWithError("finishing the package failed");
      break;
    }
    bytes = package->size;
    benchmark::DoNotOptimize(package->data);
  }
  state.counters["package_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_GameStateEntriesInPackage)->Unit(benchmark::kMillisecond);

// The restore's side: the fetched CSV read back and compared with a running
// game whose every tenth value differs.
void BM_ReadAndPlanRestore(benchmark::State& state) {
  const std::vector<GameVariable> reported = MakeVariables();
  std::vector<GameVariable> running = reported;
  for (size_t i = 0; i < running.size(); i += 10) ++running[i].value;
  const std::vector<uint8_t> csv = VariablesEntry(reported);
  size_t writes = 0;
  for (auto _ : state) {
    const auto variables = ParseVariablesEntry(csv);
    if (!variables) {
      state.SkipWithError("the entry did not read back");
      break;
    }
    writes = PlanRestore(running, *variables).writes.size();
    benchmark::DoNotOptimize(writes);
  }
  state.counters["writes"] = static_cast<double>(writes);
}
BENCHMARK(BM_ReadAndPlanRestore)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vnscope

BENCHMARK_MAIN();
