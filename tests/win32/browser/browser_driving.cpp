#include "browser_driving.h"

#include <commctrl.h>

#include "browser/browser_worker.h"
#include "browser/report_browser.h"
#include "harness/modal_steps.h"
#include "resources/resource.h"
#include "win32/module.h"
#include "win32/win32_text.h"

namespace vnscope::test {

void BrowserTest::SetUp() {
  EngineTest::SetUp();
  // The test links the browser itself; its dialogs come from the DLL.
  SetModuleInstance(dll.module);
  relay = std::make_unique<RelayProxy>(TestServer());
}

void BrowserTest::TearDown() {
  if (browser != nullptr) DestroyWindow(browser);
  WaitForBrowserWorker(5000, true);
  PumpMessages();
  relay.reset();
}

void BrowserTest::Open() { Open(relay->endpoint()); }

void BrowserTest::Open(const ServerEndpoint& server, DWORD editorIdleWaitMs) {
  ReportBrowserSettings settings;
  settings.server = server;
  settings.editorIdleWaitMs = editorIdleWaitMs;
  SetReportBrowserSettings(settings);
  browser = CreateReportBrowser(engine.window());
  ASSERT_NE(browser, nullptr);
  list = GetDlgItem(browser, IDC_BROWSER_LIST);
  tabs = GetDlgItem(browser, IDC_BROWSER_TABS);
}

std::wstring BrowserTest::Settle() {
  std::wstring shown;
  messageOwner = nullptr;
  DriveModalSteps(
      [] {
        PumpUntil([] { return BrowserWorkerIdle(); }, std::chrono::seconds(15));
        // The worker posted its result before it ended.
        PumpMessages(std::chrono::milliseconds(30));
      },
      {{kDebugReportCaption,
        [&](HWND box) {
          shown = MessageBoxText(box);
          messageOwner = GetWindow(box, GW_OWNER);
          PressOk(box);
        }}},
      std::chrono::seconds(20));
  return shown;
}

void BrowserTest::Command(int id) { SendMessageW(browser, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

void BrowserTest::ClickTab(int index) {
  RECT item{};
  SendMessageW(tabs, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item));
  ClickAt(tabs, (item.left + item.right) / 2, (item.top + item.bottom) / 2);
}

int BrowserTest::RowOf(const std::u16string& name) const {
  const std::wstring wide = AsWide(name);
  for (int row = 0; row < ListViewRowCount(list); ++row) {
    if (ListViewCell(list, row, 0) == wide) return row;
  }
  return -1;
}

void BrowserTest::SelectRows(const std::vector<int>& rows) {
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = 0;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
  for (int row : rows) {
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
  }
}

LPARAM BrowserTest::RowData(int row) const {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return item.lParam;
}

COLORREF BrowserTest::RowColour(int row, COLORREF unchanged) const {
  // What the list asks while it paints the row.
  NMLVCUSTOMDRAW draw{};
  draw.nmcd.hdr.hwndFrom = list;
  draw.nmcd.hdr.idFrom = IDC_BROWSER_LIST;
  draw.nmcd.hdr.code = NM_CUSTOMDRAW;
  draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
  draw.nmcd.dwItemSpec = row;
  draw.nmcd.lItemlParam = RowData(row);
  draw.clrText = unchanged;
  const LRESULT answer = SendMessageW(browser, WM_NOTIFY, IDC_BROWSER_LIST, reinterpret_cast<LPARAM>(&draw));
  EXPECT_EQ(answer, CDRF_NEWFONT);
  return draw.clrText;
}

int BrowserTest::CurrentTab() const { return static_cast<int>(SendMessageW(tabs, TCM_GETCURSEL, 0, 0)); }

namespace {

struct FillCount {
  HWND browser = nullptr;
  WNDPROC previous = nullptr;
  int fills = 0;
} g_fillCount;

LRESULT CALLBACK CountFills(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lparam)->code == LVN_DELETEALLITEMS) ++g_fillCount.fills;
  return CallWindowProcW(g_fillCount.previous, window, message, wparam, lparam);
}

}  // namespace

FillCounter::FillCounter(HWND browser) {
  g_fillCount = {browser, nullptr, 0};
  g_fillCount.previous =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrW(browser, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountFills)));
}

FillCounter::~FillCounter() {
  SetWindowLongPtrW(g_fillCount.browser, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_fillCount.previous));
}

int FillCounter::fills() const { return g_fillCount.fills; }

}  // namespace vnscope::test
