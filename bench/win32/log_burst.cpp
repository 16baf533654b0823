// The execution log monitor under load, under Wine:
//  1. the longest single message: one append slice (8K units) shown in an
//     empty edit, against the same slice shown in an edit that holds the
//     kept history (1M to 2M units), where a slice may also drop the oldest
//     lines; both in this run;
//  2. a 10 MB burst appended to the log: time until the monitor shows its
//     last line, and the longest time the thread spent in one message (how
//     long the window stops answering);
//  3. a long run, 20 MB written in 1 MB steps: time per step as the log
//     grows, against the baseline of a plain edit control that keeps every
//     unit, as the monitor would without its display limit.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/win32/bench_owner.h"
#include "include/vnscope.h"

namespace {

constexpr wchar_t kLogName[] = L"bench_burst.log";
constexpr int kLogText = 1012;

void AppendToFile(const std::wstring& text) {
  HANDLE file = CreateFileW(kLogName, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size() * 2), &written, nullptr);
  CloseHandle(file);
}

// About `bytes` of log lines, the last of them the marker.
std::wstring Lines(size_t bytes, const std::wstring& marker) {
  const std::wstring line = L"[0123] 千早「……ねえ、聞こえてる？」 voice v_chihaya_0012.ogg layer 3\n";
  std::wstring text;
  text.reserve(bytes / 2 + line.size());
  while (text.size() * 2 < bytes) text += line;
  return text + marker + L"\n";
}

bool EndsWith(HWND edit, const std::wstring& tail) {
  const int length = GetWindowTextLengthW(edit);
  if (length < static_cast<int>(tail.size())) return false;
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(edit, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

struct Wait {
  double elapsed = 0;
  double longestMessage = 0;
  bool shown = false;
};

// Pumps messages until the edit shows `tail`, timing every message.
Wait PumpUntilShown(HWND edit, const std::wstring& tail, double timeoutMs) {
  Wait wait;
  const double start = bench::NowMs();
  while (bench::NowMs() - start < timeoutMs) {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
      continue;
    }
    const double before = bench::NowMs();
    DispatchMessageW(&message);
    wait.longestMessage = std::max(wait.longestMessage, bench::NowMs() - before);
    if (message.message == WM_TIMER && EndsWith(edit, tail)) {
      wait.shown = true;
      break;
    }
  }
  wait.elapsed = bench::NowMs() - start;
  return wait;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// The longest message while the monitor shows one slice more: the file
// grows by `units` of lines and the pump waits for the marker.
double LongestMessageForSlice(HWND edit, size_t units, int step) {
  const std::wstring marker = L"slice " + std::to_wstring(step);
  AppendToFile(Lines(units * 2 - (marker.size() + 1) * 2, marker));
  return PumpUntilShown(edit, marker + L"\r\n", 20000).longestMessage;
}

}  // namespace

int main() {
  HWND owner = bench::CreateOwnerWindow();
  HMODULE dll = LoadLibraryW(L"vnscope.dll");
  if (!dll) {
    std::fprintf(stderr, "vnscope.dll did not load\n");
    return 1;
  }
  auto createMonitors = VnscopeExport<CreateMonitorsFn>(dll, "CreateMonitors");
  auto destroyMonitors = VnscopeExport<DestroyMonitorsFn>(dll, "DestroyMonitors");
  MonitorSet set{};
  set.size = 24;
  if (!createMonitors(2, owner, &set)) return 1;
  HWND edit = GetDlgItem(set.executionLog, kLogText);
  // Shown, as a tester has it: painting is part of every append.
  ShowWindow(set.executionLog, SW_SHOWNOACTIVATE);
  DeleteFileW(kLogName);
  COPYDATASTRUCT name{0, sizeof(kLogName), const_cast<wchar_t*>(kLogName)};
  SendMessageW(set.executionLog, WM_COPYDATA, reinterpret_cast<WPARAM>(owner), reinterpret_cast<LPARAM>(&name));

  // 1. One slice into the empty edit; the bench empties it between runs.
  constexpr size_t kSliceUnits = 8 * 1024;
  constexpr size_t kKeptUnits = 1u << 20;
  std::vector<double> empty;
  for (int run = 0; run < 9; ++run) {
    SetWindowTextW(edit, L"");
    empty.push_back(LongestMessageForSlice(edit, kSliceUnits, run));
  }
  // Then the kept history and one slice at a time, until the edit has
  // dropped its oldest lines at least once and for 20 slices more.
  while (GetWindowTextLengthW(edit) < static_cast<int>(kKeptUnits)) {
    AppendToFile(Lines(1u << 20, L"filling"));
    PumpUntilShown(edit, L"filling\r\n", 60000);
  }
  std::vector<double> full;
  bool dropped = false;
  for (int step = 0; !dropped || full.size() < 20; ++step) {
    const int before = GetWindowTextLengthW(edit);
    full.push_back(LongestMessageForSlice(edit, kSliceUnits, 100 + step));
    dropped |= GetWindowTextLengthW(edit) < before;
  }
  const double emptyLongest = *std::max_element(empty.begin(), empty.end());
  const double fullLongest = *std::max_element(full.begin(), full.end());
  std::printf("one 8K-unit slice, empty edit      longest message median %7.1f ms  max %7.1f ms (%zu runs)\n",
              Median(empty), emptyLongest, empty.size());
  std::printf("one 8K-unit slice, edit full       longest message median %7.1f ms  max %7.1f ms (%zu slices, "
              "oldest lines dropped in one of them)\n",
              Median(full), fullLongest, full.size());
  std::printf("edit full / empty edit             median %.1fx  max %.1fx\n", Median(full) / Median(empty),
              fullLongest / emptyLongest);

  std::vector<double> burst, stall;
  for (int run = 0; run < 5; ++run) {
    const std::wstring marker = L"end of burst " + std::to_wstring(run);
    AppendToFile(Lines(10u << 20, marker));
    const Wait wait = PumpUntilShown(edit, marker + L"\r\n", 60000);
    if (!wait.shown) std::printf("burst %d not shown within 60 s\n", run);
    burst.push_back(wait.elapsed);
    stall.push_back(wait.longestMessage);
  }
  std::printf("10 MB burst shown after        median %7.1f ms  max %7.1f ms (poll period 250 ms)\n", Median(burst),
              *std::max_element(burst.begin(), burst.end()));
  std::printf("longest single message         median %7.1f ms  max %7.1f ms\n", Median(stall),
              *std::max_element(stall.begin(), stall.end()));

  // A long run through the monitor: 20 MB in 1 MB steps.
  std::vector<double> steps;
  double longest = 0;
  for (int step = 0; step < 20; ++step) {
    const std::wstring marker = L"step " + std::to_wstring(step);
    AppendToFile(Lines(1u << 20, marker));
    const Wait wait = PumpUntilShown(edit, marker + L"\r\n", 60000);
    steps.push_back(wait.elapsed);
    longest = std::max(longest, wait.longestMessage);
  }
  std::printf("20 MB run, 1 MB steps, monitor  median %7.1f ms per step, last %7.1f ms, longest message %7.1f ms, "
              "%d units shown\n",
              Median(steps), steps.back(), longest, GetWindowTextLengthW(edit));

  // Baseline: a plain edit control that keeps everything.
  HWND plain = CreateWindowW(L"EDIT", L"", WS_CHILD | ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL, 0, 0, 600, 200,
                             owner, nullptr, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(plain, EM_SETLIMITTEXT, 0, 0);
  std::wstring crlf;
  for (wchar_t unit : Lines(1u << 20, L"x")) {
    if (unit == L'\n') crlf += L'\r';
    crlf += unit;
  }
  for (int step = 1; step <= 100; ++step) {
    const double before = bench::NowMs();
    const int length = GetWindowTextLengthW(plain);
    SendMessageW(plain, EM_SETSEL, length, length);
    SendMessageW(plain, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(crlf.c_str()));
    const double took = bench::NowMs() - before;
    if (step == 1 || step % 8 == 0 || took > 2000) {
      std::printf("plain edit, %3d MB appended: this 1 MB step %8.1f ms\n", step, took);
    }
    if (took > 2000) {
      std::printf("plain edit: stopped, one step took over 2 s\n");
      break;
    }
  }
  DestroyWindow(plain);
  destroyMonitors(&set);
  DeleteFileW(kLogName);
  FreeLibrary(dll);
  DestroyWindow(owner);
  return 0;
}
