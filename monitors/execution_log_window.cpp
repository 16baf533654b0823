// The execution log monitor (dialog 104): follows the engine's log file by
// polling it and appends what was added to its edit control.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <string>

#include "monitors/monitor_window.h"
#include "include/vnscope.h"
#include "monitors/log_tail.h"
#include "monitors/monitor_dialogs.h"
#include "resources/resource.h"
#include "win32/boundary_guard.h"
#include "win32/unique_handle.h"

namespace vnscope {
namespace {

constexpr int kWindowHeight = 200;
constexpr UINT_PTR kPollTimer = 0;
constexpr UINT kPollMilliseconds = 250;
// The file name buffer the engine's paths must fit: 259 units and a NUL.
constexpr size_t kFileNameCapacity = MAX_PATH;
// The first line once the oldest lines were dropped.
constexpr wchar_t kEarlierLinesNotice[] = L"（これより前の行はログファイルにあります）\r\n";
constexpr size_t kNoticeUnits = std::size(kEarlierLinesNotice) - 1;

// Posted to itself to append the next slice of what a poll read.
constexpr UINT kAppendNextSlice = WM_APP + 1;

// One log per process: the file followed, how far it was read, and text read
// but not yet shown.
struct ExecutionLogState {
  std::wstring fileName = L"tqvm.log";
  LogTail tail;
  std::u16string pending;
  bool slicePosted = false;
  // What the edit shows is older than the oldest pending line and no longer
  // joins it: the next slice replaces it, under the notice.
  bool startOver = false;
} g_log;

HWND EditOf(HWND dialog) { return GetDlgItem(dialog, IDC_LOG_TEXT); }

void ReplaceRange(HWND edit, size_t from, size_t to, const wchar_t* text) {
  SendMessageW(edit, EM_SETSEL, from, to);
  SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

// Where the line holding unit `at` starts: just after the LF before it.
size_t LineStartAt(std::u16string_view text, size_t at) {
  if (at == 0) return 0;
  const size_t lf = text.rfind(u'\n', at - 1);
  return lf == std::u16string_view::npos ? 0 : lf + 1;
}

// When `incoming` more units would pass the limit, drops the oldest lines so
// that at least kLogKeptUnits stay after the append, and puts the notice
// first. A line so long that dropping up to its start would not bring the
// edit under the limit is cut where the kept units begin.
void TrimForIncoming(HWND edit, size_t incoming) {
  const size_t length = static_cast<size_t>(GetWindowTextLengthW(edit));
  if (length + incoming <= kLogDisplayLimitUnits) return;
  const size_t cut = std::min(length, length + incoming - kLogKeptUnits);
  const auto line = SendMessageW(edit, EM_LINEFROMCHAR, cut, 0);
  const auto lineStart = SendMessageW(edit, EM_LINEINDEX, line, 0);
  size_t from = lineStart > 0 ? static_cast<size_t>(lineStart) : 0;
  if (cut - std::min(from, cut) > kLogDisplayLimitUnits - kLogKeptUnits || from <= kNoticeUnits) from = cut;
  ReplaceRange(edit, 0, from, kEarlierLinesNotice);
}

// Always at the end, whatever the tester selected, and without undo.
void AppendToEdit(HWND edit, std::u16string_view text) {
  if (text.empty()) return;
  if (g_log.startOver) {
    SetWindowTextW(edit, kEarlierLinesNotice);
    g_log.startOver = false;
  }
  TrimForIncoming(edit, text.size());
  const std::wstring wide(text.begin(), text.end());
  const size_t length = static_cast<size_t>(GetWindowTextLengthW(edit));
  ReplaceRange(edit, length, length, wide.c_str());
}

// Shows one slice of the pending text and posts itself for the next, so a
// burst never holds the window for long.
void OnAppendNextSlice(HWND dialog) {
  g_log.slicePosted = false;
  const size_t count = std::min(g_log.pending.size(), kLogAppendSliceUnits);
  AppendToEdit(EditOf(dialog), std::u16string_view(g_log.pending).substr(0, count));
  g_log.pending.erase(0, count);
  if (!g_log.pending.empty() && PostMessageW(dialog, kAppendNextSlice, 0, 0)) g_log.slicePosted = true;
}

// More pending than the edit may show would drop everything it shows now
// and the oldest pending lines too: those go at once, from a line start so
// that the kept units stay, and the edit starts over.
void DropPendingBeyondLimit() {
  if (g_log.pending.size() <= kLogDisplayLimitUnits) return;
  const size_t cut = g_log.pending.size() - kLogKeptUnits;
  size_t from = LineStartAt(g_log.pending, cut);
  if (cut - from > kLogDisplayLimitUnits - kLogKeptUnits) from = cut;
  g_log.pending.erase(0, from);
  g_log.startOver = true;
}

void QueueForDisplay(HWND dialog, std::u16string_view text, bool afterSkip) {
  if (afterSkip) {
    // The read began inside a line: that partial line goes, and nothing
    // queued before the skip joins what follows it.
    const size_t lineEnd = text.find(u"\r\n");
    text.remove_prefix(lineEnd == std::u16string_view::npos ? text.size() : lineEnd + 2);
    g_log.pending.clear();
    g_log.startOver = true;
  }
  g_log.pending += text;
  DropPendingBeyondLimit();
  if (!g_log.pending.empty() && !g_log.slicePosted) OnAppendNextSlice(dialog);
}

// Reads what was added since the last poll. A missing or locked file is
// tried again on the next tick. Reading stops at the size seen when the
// poll began, so a log that keeps growing cannot hold the window here.
void Poll(HWND dialog) {
  UniqueFile file(CreateFileW(g_log.fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return;
  const uint64_t fileSize = static_cast<uint64_t>(size.QuadPart);
  g_log.tail.FollowSize(fileSize);
  const bool skipped = g_log.tail.SkipBacklog(fileSize, kLogBacklogKeptBytes) > 0;
  LARGE_INTEGER offset{};
  offset.QuadPart = static_cast<LONGLONG>(g_log.tail.offset());
  if (!SetFilePointerEx(file.get(), offset, nullptr, FILE_BEGIN)) return;
  std::u16string added;
  uint8_t buffer[kLogChunkBytes];
  DWORD read = 0;
  while (g_log.tail.offset() < fileSize && ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    g_log.tail.AppendChunk(std::span<const uint8_t>(buffer, read), &added);
  }
  QueueForDisplay(dialog, added, skipped);
}

// The name must fit the 260-unit buffer with its NUL; a longer one is
// ignored and the current file followed on.
void OnLogFileName(HWND dialog, const wchar_t* path) {
  const size_t length = wcsnlen(path, kFileNameCapacity);
  if (length == kFileNameCapacity) return;
  g_log.fileName.assign(path, length);
  g_log.tail.Restart();
  SetWindowTextW(dialog, (L"実行ログ[" + g_log.fileName + L"]").c_str());
}

void OnCopyData(HWND dialog, const COPYDATASTRUCT* data) {
  if (!data || !data->lpData) return;
  if (data->dwData == VN_LOG_FILE_NAME) OnLogFileName(dialog, static_cast<const wchar_t*>(data->lpData));
}

// Directly under a game window whose client area starts at the screen's origin.
void OnInitDialog(HWND dialog) {
  // Text read for an earlier monitor set's window is not this one's.
  g_log.pending.clear();
  g_log.slicePosted = false;
  g_log.startOver = false;
  SendMessageW(EditOf(dialog), EM_SETLIMITTEXT, 0, 0);
  RECT client{};
  GetClientRect(MonitorOwner(dialog), &client);
  MoveWindow(dialog, 0, client.bottom, client.right - client.left, kWindowHeight, TRUE);
  SetTimer(dialog, kPollTimer, kPollMilliseconds, nullptr);
}

void OnDestroy(HWND dialog) { KillTimer(dialog, kPollTimer); }

void OnSize(HWND dialog, LPARAM lparam) {
  MoveControl(dialog, IDC_LOG_TEXT, 0, 0, SizeWidth(lparam), SizeHeight(lparam));
}

}  // namespace

INT_PTR CALLBACK ExecutionLogDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  GuardBoundary([&] {
    switch (message) {
      case WM_INITDIALOG: OnInitDialog(dialog); break;
      case WM_DESTROY: OnDestroy(dialog); break;
      case WM_TIMER: Poll(dialog); break;
      case kAppendNextSlice: OnAppendNextSlice(dialog); break;
      case WM_COPYDATA: OnCopyData(dialog, reinterpret_cast<const COPYDATASTRUCT*>(lparam)); break;
      case WM_SIZE: OnSize(dialog, lparam); break;
      default: HandleSharedMonitorMessage(dialog, message, wparam, lparam); break;
    }
  });
  return 0;
}

}  // namespace vnscope
