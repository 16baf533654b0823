// The variable list while the engine changes values, under Wine: 100,000
// variables, a few groups expanded and a few variables watched, the list
// shown, and 1,000 SetVariableValue messages a second for five seconds. Every
// message the thread handles is timed (the sends themselves, and the paints
// and highlight timers they cause): the longest one is how long the window
// stops answering. Baseline: one whole repaint of the same list at rest;
// beside it, the same repaint with every row shown highlighted. Last, the
// tester types "value17" into the find box: each keystroke filters the
// 100,000 names and the list is drawn again (wall clock, and the thread's
// processor time, which a busy machine does not inflate).
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/win32/bench_owner.h"

namespace {

constexpr int kGroups = 5000;
constexpr int kMembers = 20;
constexpr int kChangesPerSecond = 1000;
constexpr int kSeconds = 5;
constexpr int kVariableList = 1002;
constexpr int kFindBox = 1030;

void SetValue(HWND window, int32_t position, const std::wstring& text) {
  VariableMessage record{};
  record.position = position;
  record.text = text.c_str();
  bench::SendCopyData(window, VN_SET_VARIABLE_VALUE, &record, sizeof(record));
}

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// User and kernel time of this thread, in milliseconds (Wine counts it in
// 10 ms ticks: sum it over several keystrokes).
double ThreadMilliseconds() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto ms = [](FILETIME time) {
    return static_cast<double>(uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime) / 10000.0;
  };
  return ms(kernel) + ms(user);
}

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main() {
  HWND owner = bench::CreateOwnerWindow();
  const bench::EngineMonitors monitors(owner);
  if (!monitors.created()) return 1;
  HWND dialog = monitors.set().variableList;
  HWND list = GetDlgItem(dialog, kVariableList);
  ShowWindow(dialog, SW_SHOWNOACTIVATE);

  for (int g = 0; g < kGroups; ++g) {
    for (int m = 0; m < kMembers; ++m) {
      const std::wstring name = (g % 2 ? L"@scene" : L"#flag") + std::to_wstring(g) + L".value" + std::to_wstring(m);
      VariableMessage record{};
      record.text = name.c_str();
      bench::SendCopyData(dialog, VN_ADD_VARIABLE_NAME, &record, sizeof(record));
    }
  }
  bench::SendCopyData(dialog, VN_COMMIT_VARIABLES, nullptr, 0);
  // Expand the first group as a double-click does (the monitor reads where
  // the cursor is), then watch three of its members.
  RECT label{};
  ListView_GetItemRect(list, 0, &label, LVIR_LABEL);
  POINT cell{(label.left + label.right) / 2, (label.top + label.bottom) / 2};
  POINT screen = cell;
  ClientToScreen(list, &screen);
  SetCursorPos(screen.x, screen.y);
  PostMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(cell.x, cell.y));
  SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(cell.x, cell.y));
  Pump();
  for (int member = 0; member < 3; ++member) {
    // Rows: the watch group (header and members so far), then #flag0 and its members.
    const int watchRows = member == 0 ? 0 : 1 + member;
    ListView_SetItemState(list, -1, 0, LVIS_FOCUSED | LVIS_SELECTED);
    ListView_SetItemState(list, watchRows + 1 + member * 7, LVIS_FOCUSED, LVIS_FOCUSED);
    SendMessageW(dialog, WM_COMMAND, VN_ADD_WATCH, 0);
  }
  Pump();

  // Baseline: the whole list drawn again at rest, several times.
  auto repaint = [&] {
    std::vector<double> times;
    for (int i = 0; i < 20; ++i) {
      InvalidateRect(list, nullptr, TRUE);
      const double before = bench::NowMs();
      UpdateWindow(list);
      times.push_back(bench::NowMs() - before);
    }
    return Percentile(times, 0.5);
  };
  const double baseline = repaint();
  // The first 64 variables fill every row the list shows.
  for (int32_t position = 0; position < 64; ++position) SetValue(dialog, position, L"-1");
  const double highlighted = repaint();
  SendMessageW(dialog, WM_COMMAND, VN_CLEAR_CHANGES, 0);
  Pump();

  // Values change on visible rows and all over the table alike.
  std::vector<double> sends, others;
  const double start = bench::NowMs();
  double nextSend = start;
  int sent = 0;
  uint32_t random = 12345;
  while (sent < kChangesPerSecond * kSeconds) {
    MSG message;
    if (bench::NowMs() >= nextSend) {
      random = random * 1664525u + 1013904223u;
      const int32_t position = sent % 2 ? static_cast<int32_t>(random % (kGroups * kMembers)) : sent % 64;
      const double before = bench::NowMs();
      SetValue(dialog, position, std::to_wstring(sent));
      sends.push_back(bench::NowMs() - before);
      ++sent;
      nextSend += 1000.0 / kChangesPerSecond;
    } else if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      const double before = bench::NowMs();
      DispatchMessageW(&message);
      others.push_back(bench::NowMs() - before);
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
  }
  const double elapsed = bench::NowMs() - start;
  // The highlights end five seconds after the last change: the timer's work.
  const double drain = bench::NowMs();
  while (bench::NowMs() - drain < 5500) {
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      const double before = bench::NowMs();
      DispatchMessageW(&message);
      others.push_back(bench::NowMs() - before);
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
  }

  SendMessageW(dialog, WM_COMMAND, VN_FIND_VARIABLE, 0);
  HWND box = GetDlgItem(dialog, kFindBox);
  const std::wstring typed = L"value17";
  std::vector<double> keystrokes;
  const double processorBefore = ThreadMilliseconds();
  for (wchar_t unit : typed) {
    const double before = bench::NowMs();
    SendMessageW(box, WM_CHAR, unit, 1);
    UpdateWindow(list);
    keystrokes.push_back(bench::NowMs() - before);
  }
  const double processorPerKey = (ThreadMilliseconds() - processorBefore) / static_cast<double>(typed.size());

  const double longestSend = *std::max_element(sends.begin(), sends.end());
  const double longestOther = others.empty() ? 0 : *std::max_element(others.begin(), others.end());
  std::printf("%d changes in %.0f ms (%.0f a second) on %d variables, list shown\n", sent, elapsed,
              sent * 1000.0 / elapsed, kGroups * kMembers);
  std::printf("%-46s median %7.3f ms\n", "baseline: whole repaint of the list at rest", baseline);
  std::printf("%-46s median %7.3f ms = %.2f x the baseline\n", "the same, every row shown highlighted", highlighted,
              highlighted / baseline);
  std::printf("%-46s median %7.3f ms  p99 %7.3f ms  max %7.3f ms\n", "SetVariableValue handled", Percentile(sends, 0.5),
              Percentile(sends, 0.99), longestSend);
  std::printf("%-46s %zu messages, p99 %7.3f ms  max %7.3f ms\n", "paints and timers in between", others.size(),
              Percentile(others, 0.99), longestOther);
  std::printf("%-46s %7.3f ms = %.2f x the baseline repaint\n", "longest message handled",
              std::max(longestSend, longestOther), std::max(longestSend, longestOther) / baseline);
  std::printf("%-46s median %7.3f ms  max %7.3f ms  processor %7.3f ms a key\n",
              "keystroke in the find box, filter and repaint", Percentile(keystrokes, 0.5),
              *std::max_element(keystrokes.begin(), keystrokes.end()), processorPerKey);
  return 0;
}
