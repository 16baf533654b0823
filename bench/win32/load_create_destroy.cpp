// Measures what an engine pays at start-up and shutdown: loading vnscope.dll,
// CreateMonitors with all six monitors, DestroyMonitors and unloading again.
// Prints the median and the spread of many runs.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/win32/bench_owner.h"
#include "include/vnscope.h"

namespace {

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
  HWND owner = bench::CreateOwnerWindow();
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);

  std::vector<double> total, create, destroy;
  for (int run = 0; run < runs + 1; ++run) {
    LARGE_INTEGER t0, t1, t2, t3, t4;
    QueryPerformanceCounter(&t0);
    HMODULE dll = LoadLibraryW(L"vnscope.dll");
    if (!dll) {
      std::fprintf(stderr, "vnscope.dll did not load\n");
      return 1;
    }
    auto createMonitors = VnscopeExport<CreateMonitorsFn>(dll, "CreateMonitors");
    auto destroyMonitors = VnscopeExport<DestroyMonitorsFn>(dll, "DestroyMonitors");
    QueryPerformanceCounter(&t1);
    MonitorSet set{};
    set.size = 24;
    if (!createMonitors(2, owner, &set)) return 1;
    QueryPerformanceCounter(&t2);
    destroyMonitors(&set);
    QueryPerformanceCounter(&t3);
    FreeLibrary(dll);
    Pump();
    QueryPerformanceCounter(&t4);
    if (run == 0) continue;  // the first run also pays for Wine's own warm-up
    total.push_back(bench::Milliseconds(t0, t4, frequency));
    create.push_back(bench::Milliseconds(t1, t2, frequency));
    destroy.push_back(bench::Milliseconds(t2, t3, frequency));
  }
  auto report = [](const char* name, std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::printf("%-34s median %7.2f ms  min %7.2f  p90 %7.2f\n", name, values[values.size() / 2], values.front(),
                values[values.size() * 9 / 10]);
  };
  std::printf("%d runs\n", runs);
  report("load+create(24)+destroy+unload", total);
  report("CreateMonitors(24)", create);
  report("DestroyMonitors", destroy);
  DestroyWindow(owner);
  return 0;
}
