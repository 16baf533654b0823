// The variable list at engine scale under Wine, where grouping compares name
// prefixes with the system's CompareStringW: 100,000 AddVariableName messages
// and the CommitVariables that builds the table and rows, then the cell texts
// the list view asks for when it paints rows deep in the list. Medians of
// several runs.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/win32/bench_owner.h"
#include "include/vnscope.h"

namespace {

constexpr int kGroups = 5000;
constexpr int kMembers = 20;

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
  HWND owner = bench::CreateOwnerWindow();
  const bench::EngineMonitors monitors(owner);
  if (!monitors.created()) return 1;
  const MonitorSet& set = monitors.set();
  HWND list = GetDlgItem(set.variableList, 1002);

  std::vector<std::wstring> names;
  for (int g = 0; g < kGroups; ++g) {
    for (int m = 0; m < kMembers; ++m) {
      names.push_back((g % 2 ? L"@scene" : L"#flag") + std::to_wstring(g) + L".value" + std::to_wstring(m));
    }
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> add, commit, cells;
  for (int run = 0; run < runs; ++run) {
    LARGE_INTEGER t0, t1, t2, t3;
    QueryPerformanceCounter(&t0);
    for (const std::wstring& name : names) {
      VariableMessage record{};
      record.text = name.c_str();
      bench::SendCopyData(set.variableList, VN_ADD_VARIABLE_NAME, &record, sizeof(record));
    }
    QueryPerformanceCounter(&t1);
    bench::SendCopyData(set.variableList, VN_COMMIT_VARIABLES, nullptr, 0);
    QueryPerformanceCounter(&t2);
    // 1,000 value-cell reads spread over the 5,000 collapsed group rows.
    wchar_t text[260];
    for (int row = 0; row < kGroups; row += 5) {
      LVITEMW item{};
      item.iSubItem = 1;
      item.pszText = text;
      item.cchTextMax = 260;
      SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }
    QueryPerformanceCounter(&t3);
    add.push_back(bench::Milliseconds(t0, t1, frequency));
    commit.push_back(bench::Milliseconds(t1, t2, frequency));
    cells.push_back(bench::Milliseconds(t2, t3, frequency) * 1000.0 / (kGroups / 5));
  }
  auto median = [](std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  };
  std::printf("%d runs, %zu names in %d groups\n", runs, names.size(), kGroups);
  std::printf("%-40s median %8.2f ms\n", "100,000 AddVariableName messages", median(add));
  std::printf("%-40s median %8.2f ms\n", "CommitVariables (CompareStringW)", median(commit));
  std::printf("%-40s median %8.2f us\n", "value cell of a group row, per request", median(cells));
  return 0;
}
