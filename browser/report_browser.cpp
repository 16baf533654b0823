#include "browser/report_browser.h"

#include <commctrl.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "browser/browser_jobs.h"
#include "browser/browser_worker.h"
#include "browser/report_list_view.h"
#include "browser/report_table.h"
#include "browser/report_preview.h"
#include "browser/state_restore.h"
#include "resources/resource.h"
#include "win32/boundary_guard.h"
#include "win32/module.h"
#include "win32/unique_handle.h"
#include "win32/win32_text.h"

namespace vnscope {
namespace {

constexpr wchar_t kMessageCaption[] = L"Debug Report";

// Everything the browser keeps. There is one report dialog, hence one browser,
// at a time; the report table outlives it (it lives as long as the library).
struct BrowserState {
  ReportBrowserSettings settings;
  ReportTable table;
  HWND dialog = nullptr;
  HWND list = nullptr;
  HWND tabs = nullptr;
  HWND preview = nullptr;
  UniqueMenu popup;
  RunningGame* game = nullptr;  // the report dialog's, for "この状態を再現"
};

BrowserState& Browser() {
  static BrowserState state;
  return state;
}

// Tab index = filter index of the report table.
constexpr const wchar_t* kTabCaptions[] = {L"TXT全件", L"TXT未処理", L"SS付き全件", L"SS付き未処理"};

struct ColumnItem {
  const wchar_t* title;
  int width;
};
// The name column starts hidden: the title column shows the name when a
// report has no title.
constexpr ColumnItem kColumns[] = {{L"レポート名", 0}, {L"タイトル", 240}, {L"状態", 80}, {L"報告者", 80}};

struct MenuItem {
  int command;  // 0: separator
  const wchar_t* caption;
};
constexpr MenuItem kPopupItems[] = {
    {kOpenReport, L"開く"},
    {kOpenSnapshots, L"スナップショットを開く"},
    {0, nullptr},
    {kRequestRefix, L"状態を[再修正依頼]にする"},
    {kMarkFixed, L"状態を[修正済み]にする"},
    {kMarkConfirmed, L"状態を[完了(修正確認済み)]にする"},
    {kMarkNoProblem, L"状態を[問題なし]にする"},
    {kRestoreState, L"この状態を再現"},
};

struct StateCommand {
  int command;
  uint32_t state;
};
constexpr StateCommand kStateCommands[] = {
    {kRequestRefix, ReportState::RefixRequested},
    {kMarkFixed, ReportState::Fixed},
    {kMarkConfirmed, ReportState::Confirmed},
    {kMarkNoProblem, ReportState::NoProblem},
};

// Rebuilds the list from the table under the tab `filter` and selects that
// tab.
void FillList(int filter) {
  BrowserState& browser = Browser();
  FillReportList(browser.table, filter);
  SendMessageW(browser.tabs, TCM_SETCURSEL, filter, 0);
}

int CurrentTab() { return static_cast<int>(SendMessageW(Browser().tabs, TCM_GETCURSEL, 0, 0)); }

int NextSelectedRow(int after) {
  return static_cast<int>(SendMessageW(Browser().list, LVM_GETNEXTITEM, after, LVNI_SELECTED));
}

int SelectedCount() { return static_cast<int>(SendMessageW(Browser().list, LVM_GETSELECTEDCOUNT, 0, 0)); }

std::vector<std::u16string> SelectedNames() {
  std::vector<std::u16string> names;
  for (int row = NextSelectedRow(-1); row >= 0; row = NextSelectedRow(row)) names.push_back(ReportListName(row));
  return names;
}

bool StartJob(BrowserJobKind kind, std::vector<std::u16string> names = {}, uint32_t state = 0) {
  BrowserState& browser = Browser();
  auto job = std::make_unique<BrowserJob>();
  job->kind = kind;
  job->browser = browser.dialog;
  job->server = browser.settings.server;
  job->editorIdleWaitMs = browser.settings.editorIdleWaitMs;
  job->names = std::move(names);
  job->state = state;
  return StartBrowserJob(std::move(job));
}

// Asks the preview for the first selected report's text (the preview fetches
// it while this waits); `show` also brings the preview up, with or without a
// selected row.
void ShowSelectedInPreview(bool show) {
  BrowserState& browser = Browser();
  const int row = NextSelectedRow(-1);
  if (row >= 0) {
    std::string ansi = Utf16ToAnsi(ReportListName(row));
    ansi.push_back('\0');
    COPYDATASTRUCT data{0, static_cast<DWORD>(ansi.size()), ansi.data()};
    SendMessageW(browser.preview, WM_COPYDATA, reinterpret_cast<WPARAM>(browser.dialog),
                 reinterpret_cast<LPARAM>(&data));
  }
  if (show) ShowWindow(browser.preview, SW_SHOWNORMAL);
}

void ShowFailure(const wchar_t* text) { MessageBoxW(Browser().dialog, text, kMessageCaption, MB_OK); }

void OnListFetched(BrowserJobResult& result) {
  // A failed fetch keeps the last good list: list and table stay in step,
  // so a later tab change still shows those reports.
  if (!result.succeeded) {
    ShowFailure(L"レポート一覧の受信に失敗しましたorz");
    return;
  }
  ForgetReportRows();
  Browser().table.Replace(std::move(result.records));
  FillList(kOpenWithText);
}

void OnStatesChanged(const BrowserJobResult& result) {
  // Every change the server confirmed is shown, also when a later one failed.
  if (!result.records.empty()) {
    // A name new to the table moves the records the list's rows point at.
    ForgetReportRows();
    for (const auto& [name, record] : result.records) Browser().table.FindOrAdd(name).state = record.state;
  }
  if (result.succeeded || !result.records.empty()) FillList(CurrentTab());
  if (!result.succeeded) ShowFailure(L"状態の変更に失敗しましたorz");
}

void OnJobDone(HWND dialog) {
  for (BrowserJobResult& result : TakeBrowserJobResults(dialog)) {
    switch (result.kind) {
      case BrowserJobKind::ListReports: OnListFetched(result); break;
      case BrowserJobKind::SetState: OnStatesChanged(result); break;
      case BrowserJobKind::FetchSnapshots:
        if (!result.succeeded) ShowFailure(L"スナップショットの受信に失敗しましたorz");
        break;
      case BrowserJobKind::FetchGameState:
        RestoreReportedState(dialog, Browser().game, result.succeeded, result.entries);
        break;
    }
  }
}

void OnSize(int width, int height) {
  const BrowserState& browser = Browser();
  MoveWindow(browser.tabs, 0, 0, width, height - 20, TRUE);
  MoveWindow(browser.list, 0, 20, width, height - 40, TRUE);
  MoveWindow(GetDlgItem(browser.dialog, IDOK), width / 2 - 64, height - 20, 60, 20, TRUE);
  MoveWindow(GetDlgItem(browser.dialog, IDCANCEL), width / 2 + 4, height - 20, 60, 20, TRUE);
}

UniqueMenu CreatePopup() {
  UniqueMenu menu(CreatePopupMenu());
  for (const auto& item : kPopupItems) {
    if (item.command == 0) {
      AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    } else {
      AppendMenuW(menu.get(), MF_STRING, item.command, item.caption);
    }
  }
  return menu;
}

void OnInitDialog(HWND dialog) {
  BrowserState& browser = Browser();
  browser.dialog = dialog;
  browser.list = GetDlgItem(dialog, IDC_BROWSER_LIST);
  browser.tabs = GetDlgItem(dialog, IDC_BROWSER_TABS);
  AttachReportList(browser.list);
  for (int i = 0; i < static_cast<int>(std::size(kTabCaptions)); ++i) {
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = const_cast<wchar_t*>(kTabCaptions[i]);
    SendMessageW(browser.tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&tab));
  }
  const DWORD extended = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
  SendMessageW(browser.list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
  for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = LVCFMT_LEFT;
    column.cx = kColumns[i].width;
    column.pszText = const_cast<wchar_t*>(kColumns[i].title);
    SendMessageW(browser.list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
  browser.popup = CreatePopup();
  browser.preview = CreateReportPreview(dialog, browser.settings.server);
  RECT client;
  GetClientRect(dialog, &client);
  OnSize(client.right, client.bottom);
  StartJob(BrowserJobKind::ListReports);
}

void OnCommand(int command) {
  if (command == kOpenReport) return ShowSelectedInPreview(true);
  // The rest needs the worker; while it is busy they are ignored.
  if (!BrowserWorkerIdle()) return;
  if (command == IDOK) {
    StartJob(BrowserJobKind::ListReports);
  } else if (command == kOpenSnapshots) {
    StartJob(BrowserJobKind::FetchSnapshots, SelectedNames());
  } else if (command == kRestoreState) {
    if (Browser().game && SelectedCount() == 1) StartJob(BrowserJobKind::FetchGameState, SelectedNames());
  } else {
    for (const auto& change : kStateCommands) {
      if (change.command == command) StartJob(BrowserJobKind::SetState, SelectedNames(), change.state);
    }
  }
}

void OnRightClick(HWND dialog) {
  // One report's state at a time: greyed for none or several.
  EnableMenuItem(Browser().popup.get(), kRestoreState, MF_BYCOMMAND | (SelectedCount() == 1 ? MF_ENABLED : MF_GRAYED));
  POINT cursor;
  GetCursorPos(&cursor);
  TrackPopupMenu(Browser().popup.get(), TPM_LEFTBUTTON, cursor.x, cursor.y, 0, dialog, nullptr);
}

// An item that just became selected, as opposed to the other state changes
// (focus, deselection) a click also reports.
bool BecameSelected(const NMLISTVIEW* change) {
  return (change->uChanged & LVIF_STATE) != 0 && (change->uNewState & LVIS_SELECTED) != 0 &&
         (change->uOldState & LVIS_SELECTED) == 0;
}

LRESULT OnNotify(HWND dialog, NMHDR* header) {
  const BrowserState& browser = Browser();
  if (header->hwndFrom == browser.tabs && header->code == TCN_SELCHANGE) {
    FillList(CurrentTab());
  } else if (const auto answer = AnswerReportListNotify(header)) {
    return *answer;
  } else if (header->hwndFrom == browser.list) {
    switch (header->code) {
      case LVN_ITEMACTIVATE: OnCommand(kOpenReport); break;
      case LVN_ITEMCHANGED:
        if (IsWindowVisible(browser.preview) && BecameSelected(reinterpret_cast<NMLISTVIEW*>(header))) {
          ShowSelectedInPreview(false);
        }
        break;
      case NM_RCLICK: OnRightClick(dialog); break;
      default: break;
    }
  }
  return 0;
}

void OnClose(HWND dialog) { ShowWindow(dialog, SW_HIDE); }

void OnDestroy(HWND dialog) {
  BrowserState& browser = Browser();
  if (browser.preview != nullptr) DestroyWindow(browser.preview);
  DropBrowserJobResults(dialog);
  DetachReportList();
  browser.popup.reset();
  browser.dialog = browser.list = browser.tabs = browser.preview = nullptr;
  browser.game = nullptr;
}

INT_PTR CALLBACK ReportBrowserProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  return GuardBoundary(INT_PTR{FALSE}, [&]() -> INT_PTR {
    switch (message) {
      case WM_INITDIALOG: OnInitDialog(dialog); return TRUE;
      case WM_SIZE: OnSize(LOWORD(lparam), HIWORD(lparam)); return TRUE;
      case WM_COMMAND: OnCommand(LOWORD(wparam)); return TRUE;
      case WM_NOTIFY:
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, OnNotify(dialog, reinterpret_cast<NMHDR*>(lparam)));
        return TRUE;
      case kBrowserJobDone: OnJobDone(dialog); return TRUE;
      case WM_CLOSE: OnClose(dialog); return TRUE;
      case WM_DESTROY: OnDestroy(dialog); return TRUE;
      default: return FALSE;
    }
  });
}

}  // namespace

HWND CreateReportBrowser(HWND owner, RunningGame* game) {
  Browser().game = game;
  ScopedModuleContext context;
  return CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_REPORT_BROWSER), owner, ReportBrowserProc, 0);
}

void SetReportBrowserSettings(const ReportBrowserSettings& settings) { Browser().settings = settings; }

}  // namespace vnscope
