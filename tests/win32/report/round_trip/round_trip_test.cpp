// The whole report round trip through the DLL and the real report server: the
// engine calls DebugReport, the tester writes and draws and sends; in the
// next report dialog the browser lists that report, previews its text and
// changes its state, which the server then holds.
#include <windows.h>

#include "harness/harness.h"
#include "harness/list_driving.h"
#include "harness/modal_steps.h"
#include "harness/report_seeding.h"
#include "report/dialog/report_driving.h"
#include "report/protocol/report_types.h"
#include "resources/resource.h"
#include "win32/win32_text.h"

namespace vnscope::test {
namespace {

constexpr wchar_t kBrowserCaption[] = L"レポートブラウザ";
constexpr wchar_t kPreviewCaption[] = L"レポートプレビュー";
constexpr int kOpenReport = 30000;
constexpr int kMarkFixed = 30003;
constexpr COLORREF kUnchanged = RGB(1, 2, 3);

class RoundTripTest : public EngineTest {
 protected:
  ScopedMonitors monitors{engine.window(), 24};
  TestScreenshot shot = MakeScreenshot(320, 240);
};

TEST_F(RoundTripTest, SentReportIsListedPreviewedAndRestated) {
  ASSERT_TRUE(monitors.created());
  const std::wstring body = L"ロード直後に背景が一瞬黒くなる。";
  ConfirmChoice choice{UniqueTitle(L"往復の確認")};
  std::wstring sentMessage;
  ReportInfo first = MakeReportInfo(shot);
  bool sent = false;
  const size_t sendSteps = DriveModalSteps(
      [&] { sent = dll.DebugReport(&monitors.set(), &first); },
      {{kReportCaption,
        [&](HWND dialog) {
          const ReportWindows windows = FindReportWindows(dialog);
          TypeText(windows.report, body);
          ClickTab(windows.tabs, 1);
          DrawSegment(windows.canvas, {20, 100}, {200, 100});
          SendMessageW(dialog, WM_COMMAND, IDM_SEND_REPORT, 0);
        }},
       {kConfirmCaption, AcceptConfirm(&choice)},
       {kMessageCaption, ReadMessage(&sentMessage)}});
  ASSERT_EQ(sendSteps, 3u);
  ASSERT_TRUE(sent) << Narrow(sentMessage);

  // The next report dialog: "ブラウザ表示".
  struct Seen {
    bool listedOpenText = false;
    bool listedOpenSnapshot = false;
    std::wstring name;
    std::wstring preview;
    std::wstring label;
    COLORREF colour = 0;
    bool stillUnderOpenSnapshot = true;
  } seen;
  ReportInfo second = MakeReportInfo(shot);
  const size_t browseSteps = DriveModalSteps(
      [&] { EXPECT_FALSE(dll.DebugReport(&monitors.set(), &second)); },
      {{kReportCaption, [&](HWND dialog) {
          SendMessageW(dialog, WM_COMMAND, IDM_SHOW_BROWSER, 0);
          HWND browser = FindThreadWindow(kBrowserCaption);
          ASSERT_NE(browser, nullptr);
          EXPECT_TRUE(IsWindowVisible(browser));
          HWND list = GetDlgItem(browser, IDC_BROWSER_LIST);
          HWND tabs = GetDlgItem(browser, IDC_BROWSER_TABS);
          // The list fetch started when the dialog opened.
          PumpUntil([&] { return FindListRow(list, 1, choice.title) >= 0; });
          seen.listedOpenText = SelectedTab(tabs) == 1 && FindListRow(list, 1, choice.title) >= 0;
          ClickTab(tabs, 3);
          const int row = FindListRow(list, 1, choice.title);
          seen.listedOpenSnapshot = row >= 0;
          if (row < 0) {
            PostMessageW(dialog, WM_CLOSE, 0, 0);
            return;
          }
          seen.name = ListViewCell(list, row, 0);

          SelectListRows(list, {row});
          SendMessageW(browser, WM_COMMAND, kOpenReport, 0);
          seen.preview = ControlText(FindThreadWindow(kPreviewCaption), IDC_PREVIEW_TEXT);

          ClickTab(tabs, 0);
          SelectListRows(list, {FindListRow(list, 1, choice.title)});
          SendMessageW(browser, WM_COMMAND, kMarkFixed, 0);
          PumpUntil([&] { return ListViewCell(list, FindListRow(list, 1, choice.title), 2) == L"修正済"; });
          const int restated = FindListRow(list, 1, choice.title);
          seen.label = ListViewCell(list, restated, 2);
          seen.colour = CustomDrawRowColour(list, restated, kUnchanged);
          ClickTab(tabs, 3);
          seen.stillUnderOpenSnapshot = FindListRow(list, 1, choice.title) >= 0;
          PostMessageW(dialog, WM_CLOSE, 0, 0);
        }}});
  EXPECT_EQ(browseSteps, 1u);
  EXPECT_TRUE(seen.listedOpenText) << "listed under TXT未処理 after the creation fetch";
  EXPECT_TRUE(seen.listedOpenSnapshot) << "listed under SS付き未処理";
  EXPECT_NE(seen.preview.find(body + L"\r\n"), std::wstring::npos) << Narrow(seen.preview);
  EXPECT_EQ(seen.label, L"修正済");
  EXPECT_EQ(seen.colour, RGB(128, 128, 128));
  EXPECT_FALSE(seen.stillUnderOpenSnapshot) << "a fixed report is dealt with";

  const ReportRecords stored = ServerReports();
  const auto found = stored.find(AsUtf16(seen.name));
  ASSERT_NE(found, stored.end());
  EXPECT_EQ(found->second.state, ReportState::Fixed);
  EXPECT_EQ(found->second.flags, ReportFlags::HasText | ReportFlags::HasSnapshot);
}

}  // namespace
}  // namespace vnscope::test
