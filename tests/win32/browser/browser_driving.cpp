#include "browser_driving.h"

#include <commctrl.h>

#include "browser/browser_worker.h"
#include "browser/report_browser.h"
#include "harness/list_driving.h"
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

void BrowserTest::ClickTab(int index) { test::ClickTab(tabs, index); }

int BrowserTest::RowOf(const std::u16string& name) const { return FindListRow(list, 0, AsWide(name)); }

void BrowserTest::SelectRows(const std::vector<int>& rows) { SelectListRows(list, rows); }

LPARAM BrowserTest::RowData(int row) const { return ListRowData(list, row); }

COLORREF BrowserTest::RowColour(int row, COLORREF unchanged) const {
  LRESULT answer = 0;
  const COLORREF colour = CustomDrawRowColour(list, row, unchanged, &answer);
  EXPECT_EQ(answer, CDRF_NEWFONT);
  return colour;
}

int BrowserTest::CurrentTab() const { return SelectedTab(tabs); }

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
