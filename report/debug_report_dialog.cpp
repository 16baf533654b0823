#include "report/debug_report_dialog.h"

#include <commctrl.h>

#include <iterator>
#include <string>

#include "browser/browser_worker.h"
#include "browser/report_browser.h"
#include "canvas/pixel_buffer.h"
#include "canvas/snapshot_canvas.h"
#include "report/outbox_menu.h"
#include "report/outbox_sender.h"
#include "report/protocol/system_ansi_codec.h"
#include "report/random_report_id.h"
#include "report/report_text.h"
#include "report/scene_reading.h"
#include "report/screenshot_copy.h"
#include "report/send_report.h"
#include "resources/resource.h"
#include "win32/boundary_guard.h"
#include "win32/module.h"
#include "win32/subclass.h"
#include "win32/unique_handle.h"
#include "win32/win32_text.h"

namespace vnscope {

ReportSession& CurrentReportSession() {
  static ReportSession session;
  return session;
}

namespace {

// Client-area layout: the tab strip on top, the header edit under it, the
// report text edit below that; the canvas takes the header's and the text's
// place on the second tab.
constexpr int kTabHeight = 22;
constexpr int kHeaderHeight = 160;
constexpr int kBrowserClientWidth = 400;
// How long closing waits for the browser's network worker to end.
constexpr DWORD kBrowserWorkerWaitMs = 5000;
// The voice edit is read into what is left of a 256-unit line.
constexpr size_t kVoiceReadChars = kMaxVoiceChars;
constexpr size_t kLabelChars = 255;

// Everything the dialog owns while it runs; one report dialog at a time.
struct ReportDialogState {
  UniqueFont font;
  HWND tabs = nullptr;
  HWND headerEdit = nullptr;
  HWND reportEdit = nullptr;
  Subclass reportEditTab;
  PixelBuffer snapshot;
  HWND canvas = nullptr;
  HWND browser = nullptr;
  // Drawn once per dialog: sending the report again sends the same id, and
  // the server keeps the first that arrives.
  std::string reportId;
  int width = 0;   // W: the screenshot's width
  int height = 0;  // H: the screenshot's height
};

ReportDialogState& State() {
  static ReportDialogState state;
  return state;
}

ReportInfo& Info() { return *CurrentReportSession().info; }

HWND MonitorControl(HWND MonitorSet::*slot, int control) {
  const MonitorSet* monitors = CurrentReportSession().monitors;
  return monitors ? GetDlgItem(monitors->*slot, control) : nullptr;
}

void Tell(HWND owner, const wchar_t* text) { MessageBoxW(owner, text, L"Debug Report", MB_OK); }

// Whole units of the record's displayed text, which the engine terminates
// within its 256 units (and if it forgot, the text stops there).
std::u16string_view DisplayedTextOf(const ReportInfo& info) {
  return DisplayedText(reinterpret_cast<const char16_t*>(info.displayedText), std::size(info.displayedText));
}

void InsertAndMoveToEnd(HWND edit, std::u16string_view text) {
  InsertAtCaret(edit, text);
  const LPARAM end = GetWindowTextLengthW(edit);
  SendMessageW(edit, EM_SETSEL, end, end);
}

// --- Initialisation ---------------------------------------------------------------------

POINT OwnerCentre(HWND dialog) {
  HWND owner = GetWindow(dialog, GW_OWNER);
  RECT rect{};
  if (!owner || !GetWindowRect(owner, &rect)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &rect, 0);
  return {rect.left + (rect.right - rect.left) / 2, rect.top + (rect.bottom - rect.top) / 2};
}

SIZE FrameFor(HWND window, int clientWidth, int clientHeight, bool menu) {
  RECT rect{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), menu,
                     static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// Centred on the engine's window, with a client area of W x (H + tab strip).
void PlaceDialog(HWND dialog, POINT centre) {
  const ReportDialogState& state = State();
  const SIZE frame = FrameFor(dialog, state.width, state.height + kTabHeight, true);
  MoveWindow(dialog, centre.x - frame.cx / 2, centre.y - frame.cy / 2, frame.cx, frame.cy, TRUE);
}

void SetUpTabs(HWND dialog) {
  ReportDialogState& state = State();
  state.tabs = GetDlgItem(dialog, IDC_REPORT_TABS);
  const wchar_t* titles[] = {L"テキスト／スクリプト", L"スナップショット"};
  for (int index = 0; index < 2; ++index) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(titles[index]);
    SendMessageW(state.tabs, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&item));
  }
  MoveWindow(state.tabs, 0, 0, state.width, kTabHeight, TRUE);
}

HWND CreateEdit(HWND dialog, DWORD extraStyle, int y, int height) {
  const DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_WANTRETURN | extraStyle;
  HWND edit = CreateWindowExW(0, L"EDIT", L"", style, 0, y, State().width, height, dialog, nullptr,
                              ModuleInstance(), nullptr);
  SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(State().font.get()), FALSE);
  return edit;
}

void CreateEdits(HWND dialog) {
  ReportDialogState& state = State();
  state.font.reset(CreateFontW(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0, L"ＭＳ ゴシック"));
  state.headerEdit = CreateEdit(dialog, ES_READONLY, kTabHeight, kHeaderHeight);
  state.reportEdit = CreateEdit(dialog, 0, kTabHeight + kHeaderHeight, state.height - kHeaderHeight);
}

void FillHeader() {
  ReportInfo& info = Info();
  // The engine's date field may lack its terminator; the 25th byte is ours.
  info.date[kReportDateChars] = '\0';
  const std::u16string label = ReadWindowText(MonitorControl(&MonitorSet::otherInfo, IDC_JUMP_LABEL), kLabelChars);
  const std::u16string header = ReportHeaderText(std::string_view(info.hash, sizeof(info.hash)),
                                                 std::string_view(info.date, sizeof(info.date)),
                                                 info.scriptSize, label, SystemAnsiCodec());
  InsertAndMoveToEnd(State().headerEdit, header);
}

// Tab inserts a tab character in the report text instead of moving the focus.
LRESULT CALLBACK ReportEditProc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam) {
  return GuardBoundary(LRESULT{0}, [&]() -> LRESULT {
    if (message == WM_KEYDOWN && wparam == VK_TAB) {
      InsertAtCaret(edit, u"\t");
      return 0;
    }
    return State().reportEditTab.CallPrevious(edit, message, wparam, lparam);
  });
}

void CopySnapshot(HWND dialog) {
  const ReportInfo& info = Info();
  ReportDialogState& state = State();
  ReleasePixelBuffer(&state.snapshot);
  const bool copied = GuardBoundary(false, [&] {
    return CopyScreenshot(static_cast<const uint8_t*>(info.pixels), static_cast<uint16_t>(info.width),
                          static_cast<uint16_t>(info.height), static_cast<uint8_t>(info.bitsPerPixel),
                          &state.snapshot);
  });
  // The report stays usable without a picture: text reports still go out.
  if (!copied) {
    ReleasePixelBuffer(&state.snapshot);
    Tell(dialog, L"PNGの生成準備に失敗しましたorz");
  }
}

void CreateCanvas(HWND dialog) {
  ReportDialogState& state = State();
  RegisterSnapshotClass();
  state.canvas = CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES, kSnapshotClassName, L"",
                                 WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP, 0, kTabHeight,
                                 state.width, state.height, dialog, nullptr, ModuleInstance(),
                                 state.snapshot.pixels);
}

// Hidden, to the right of the report dialog's centre line, as tall as its client area.
void CreateBrowser(HWND dialog, POINT centre) {
  ReportDialogState& state = State();
  state.browser = CreateReportBrowser(dialog, CurrentReportSession().game);
  if (!state.browser) return;
  const SIZE frame = FrameFor(state.browser, kBrowserClientWidth, state.height + kTabHeight, false);
  MoveWindow(state.browser, centre.x + state.width / 2, centre.y - state.height / 2, frame.cx,
             state.height + kTabHeight, TRUE);
}

void OnInitDialog(HWND dialog) {
  ReportDialogState& state = State();
  const ReportInfo& info = Info();
  state.width = static_cast<uint16_t>(info.width);
  state.height = static_cast<uint16_t>(info.height);
  const POINT centre = OwnerCentre(dialog);
  PlaceDialog(dialog, centre);
  SetUpTabs(dialog);
  CreateEdits(dialog);
  FillHeader();
  const std::u16string_view displayed = DisplayedTextOf(info);
  if (!displayed.empty()) {
    InsertAndMoveToEnd(state.reportEdit, displayed);
    InsertAtCaret(state.reportEdit, u"\r\n");
  }
  state.reportEditTab.Install(state.reportEdit, ReportEditProc);
  CopySnapshot(dialog);
  CreateCanvas(dialog);
  CreateBrowser(dialog, centre);
  state.reportId = NewReportId();
  WatchOutbox(dialog);
  ShowWaitingReports(dialog);
  SetFocus(state.reportEdit);
}

// --- Commands ---------------------------------------------------------------------------

void InsertDisplayedText() {
  const std::u16string_view displayed = DisplayedTextOf(Info());
  if (displayed.empty()) return;
  InsertAtCaret(State().reportEdit, displayed);
  InsertAtCaret(State().reportEdit, u"\r\n");
}

void InsertVoice() {
  const std::u16string voice = ReadWindowText(MonitorControl(&MonitorSet::otherInfo, IDC_VOICE), kVoiceReadChars);
  const std::u16string line = VoiceLine(voice);
  if (!line.empty()) InsertAtCaret(State().reportEdit, line);
}

void InsertObjectTable() {
  const ObjectRows rows = ReadObjectRows(MonitorControl(&MonitorSet::objectList, IDC_OBJECT_LIST));
  const std::u16string table = ObjectTableText(rows, SystemAnsiCodec());
  if (!table.empty()) InsertAtCaret(State().reportEdit, table);
}

void Send(HWND dialog) {
  ReportDialogState& state = State();
  const ReportSession& session = CurrentReportSession();
  const ReportSendSources sources{dialog, state.headerEdit, state.reportEdit, &state.snapshot,
                                  MonitorControl(&MonitorSet::objectList, IDC_OBJECT_LIST), state.reportId,
                                  session.monitors, session.game};
  if (SendReport(sources)) EndDialog(dialog, 0);
  else ShowWaitingReports(dialog);  // the report may wait in the outbox now
}

// Esc's cancel command is ignored like every command not listed: only a
// close request ends the dialog without sending.
void OnCommand(HWND dialog, WPARAM wparam) {
  switch (LOWORD(wparam)) {
    case IDM_SEND_REPORT: Send(dialog); break;
    case IDM_INSERT_TEXT: InsertDisplayedText(); break;
    case IDM_INSERT_VOICE: InsertVoice(); break;
    case IDM_INSERT_OBJECTS: InsertObjectTable(); break;
    case IDM_CHOOSE_COLOUR: ChooseLineColour(dialog); break;
    case IDM_SHOW_BROWSER: ShowWindow(State().browser, SW_SHOWNORMAL); break;
    default: break;
  }
}

// --- Tabs, size, close ------------------------------------------------------------------

void ShowTab(int index) {
  const ReportDialogState& state = State();
  const bool text = index == 0;
  ShowWindow(state.headerEdit, text ? SW_SHOW : SW_HIDE);
  ShowWindow(state.reportEdit, text ? SW_SHOW : SW_HIDE);
  ShowWindow(state.canvas, text ? SW_HIDE : SW_SHOW);
  SetFocus(text ? state.reportEdit : state.canvas);
}

void OnNotify(const NMHDR& header) {
  if (header.idFrom == IDC_REPORT_TABS && header.code == TCN_SELCHANGE) {
    ShowTab(static_cast<int>(SendMessageW(header.hwndFrom, TCM_GETCURSEL, 0, 0)));
  }
}

// The edits and the canvas fill the client area under the tab strip, as at
// initialisation; the canvas keeps its image size.
void OnSize(int width, int height) {
  const ReportDialogState& state = State();
  if (!state.tabs) return;
  MoveWindow(state.tabs, 0, 0, width, kTabHeight, TRUE);
  MoveWindow(state.headerEdit, 0, kTabHeight, width, kHeaderHeight, TRUE);
  MoveWindow(state.reportEdit, 0, kTabHeight + kHeaderHeight, width, height - kTabHeight - kHeaderHeight, TRUE);
  MoveWindow(state.canvas, 0, kTabHeight, width, height - kTabHeight, TRUE);
}

void OnClose(HWND dialog) {
  WaitForBrowserWorker(kBrowserWorkerWaitMs, true);
  EndDialog(dialog, -1);
}

void OnDestroy() {
  ReportDialogState& state = State();
  WatchOutbox(nullptr);
  state.reportEditTab.Restore();
  if (state.browser) DestroyWindow(state.browser);
  if (state.canvas) DestroyWindow(state.canvas);
  UnregisterSnapshotClass();
  state.font.reset();
  ReleasePixelBuffer(&state.snapshot);
  state.reportId.clear();
  state.tabs = state.headerEdit = state.reportEdit = state.canvas = state.browser = nullptr;
}

}  // namespace

INT_PTR CALLBACK DebugReportDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  return GuardBoundary(INT_PTR{FALSE}, [&]() -> INT_PTR {
    switch (message) {
      case WM_INITDIALOG: OnInitDialog(dialog); return FALSE;
      case WM_COMMAND: OnCommand(dialog, wparam); return TRUE;
      case WM_NOTIFY: OnNotify(*reinterpret_cast<const NMHDR*>(lparam)); return FALSE;
      case WM_SIZE: OnSize(LOWORD(lparam), HIWORD(lparam)); return TRUE;
      case WM_CLOSE: OnClose(dialog); return TRUE;
      case WM_DESTROY: OnDestroy(); return TRUE;
      case kOutboxChanged: ShowWaitingReports(dialog); return TRUE;
      default: return FALSE;
    }
  });
}

}  // namespace vnscope
