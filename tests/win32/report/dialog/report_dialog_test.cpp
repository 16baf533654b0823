// The debug report dialog through DebugReport, driven from inside its modal
// loop: the header, placement, tabs, the Tab and Ctrl+Z keys and the insert
// commands.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>

#include "harness/harness.h"
#include "harness/list_driving.h"
#include "harness/modal_steps.h"
#include "report/dialog/report_driving.h"
#include "resources/resource.h"

namespace vnscope::test {
namespace {

// The window's own visible style: the dialog itself may not be shown yet
// when the driver starts.
bool Shown(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

// The tab strip on top, the header edit under it, the report text edit below
// that down to the client area's bottom, and the canvas over both edits.
void ExpectLaidOut(const ReportWindows& windows, int width, int bottom) {
  const struct {
    const char* what;
    HWND window;
    RECT expected;
  } layout[] = {
      {"tab strip", windows.tabs, {0, 0, width, 22}},
      {"header edit", windows.header, {0, 22, width, 182}},
      {"report text edit", windows.report, {0, 182, width, bottom}},
      {"canvas", windows.canvas, {0, 22, width, bottom}},
  };
  for (const auto& item : layout) {
    ASSERT_NE(item.window, nullptr) << item.what;
    const RECT rect = ChildRectInParent(item.window);
    EXPECT_TRUE(EqualRect(&rect, &item.expected))
        << item.what << ": " << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
  }
}

class ReportDialogTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_TRUE(monitors.created());
  }

  // Runs DebugReport and `driver` inside it; the driver must not close the
  // dialog: that is done here. Returns DebugReport's result.
  bool RunReport(ReportInfo& info, const std::function<void(HWND, const ReportWindows&)>& driver) {
    bool result = true;
    const bool driven = DriveModal(
        kReportCaption, [&] { result = dll.DebugReport(&monitors.set(), &info); },
        [&](HWND dialog) {
          driver(dialog, FindReportWindows(dialog));
          PostMessageW(dialog, WM_CLOSE, 0, 0);
        });
    EXPECT_TRUE(driven);
    return result;
  }

  HWND ObjectList() { return GetDlgItem(monitors.set().objectList, IDC_OBJECT_LIST); }

  ScopedMonitors monitors{engine.window(), 24};
  TestScreenshot shot = MakeScreenshot(480, 200);
};

struct HeaderCase {
  const char* why;
  std::string hash;  // 32 bytes
  std::string date;  // 25 bytes; the last is what sits at offset 60
  int32_t size;
  std::wstring label;
  std::wstring expected;
};

TEST_F(ReportDialogTest, HeaderComesFromTheRecordAndTheCurrentLabel) {
  const HeaderCase cases[] = {
      {"a 24-character date shows whole", "0123456789abcdef0123456789ABCDEF", "Mon Dec  7 19:42:10 2026X",
       1843200, L"第一章_開始",
       L"[tqvm.dat]\r\nhash: 0123456789abcdef0123456789ABCDEF\r\ndate: Mon Dec  7 19:42:10 2026\r\n"
       L"size: 1843200\r\n\r\n[ LABEL名 ]\r\n第一章_開始\r\n\r\n[ 報告内容 ]\r\n"},
      // 年 月 日 in code page 932: 94 4E, 8C 8E, 93 FA
      {"a 0 inside the hash; a Shift-JIS date", std::string("abc\0def0123456789abcdef01234567", 32),
       std::string("2026\x94\x4E" "12\x8C\x8E" "07\x93\xFA\0\0\0\0\0\0\0\0\0\0\0\0\0", 25), -5, L"",
       L"[tqvm.dat]\r\nhash: abc\r\ndate: 2026年12月07日\r\nsize: -5\r\n\r\n[ LABEL名 ]\r\n\r\n\r\n"
       L"[ 報告内容 ]\r\n"},
  };
  for (const auto& c : cases) {
    ReportInfo info = MakeReportInfo(shot);
    std::memcpy(info.hash, c.hash.data(), 32);
    std::memcpy(info.date, c.date.data(), 25);
    info.scriptSize = c.size;
    SendHostText(monitors.set().otherInfo, VN_SET_JUMP_LABEL, c.label);
    std::wstring header;
    EXPECT_FALSE(RunReport(info, [&](HWND, const ReportWindows& windows) { header = WindowText(windows.header); }));
    EXPECT_EQ(header, c.expected) << c.why;
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&info)[60], 0) << c.why << ": byte 60 of the record";
  }
}

TEST_F(ReportDialogTest, PlacedOnTheEngineWithItsWindowsLaidOut) {
  ReportInfo info = MakeReportInfo(shot);
  RunReport(info, [&](HWND dialog, const ReportWindows& windows) {
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, 480);
    EXPECT_EQ(client.bottom, 222) << "the screenshot's height and the tab strip";
    // The engine's window is at (100, 50), 640 x 480: its centre is (420, 290).
    const RECT frame = WindowRectOf(dialog);
    EXPECT_EQ(frame.left, 420 - (frame.right - frame.left) / 2);
    EXPECT_EQ(frame.top, 290 - (frame.bottom - frame.top) / 2);

    ExpectLaidOut(windows, 480, 222);
    EXPECT_TRUE(Shown(windows.report));
    EXPECT_FALSE(Shown(windows.canvas));
    EXPECT_EQ(GetFocus(), windows.report);

    for (HWND edit : {windows.header, windows.report}) {
      LOGFONTW font{};
      GetObjectW(reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0)), sizeof(font), &font);
      EXPECT_STREQ(font.lfFaceName, L"ＭＳ ゴシック");
      EXPECT_EQ(font.lfHeight, 16);
      EXPECT_EQ(font.lfWeight, FW_NORMAL);
      EXPECT_EQ(font.lfCharSet, SHIFTJIS_CHARSET);
    }

    // The browser: hidden, right of the centre by half the screenshot, as high
    // as the client area, 400 pixels of client width; 40012 shows it.
    ASSERT_NE(windows.browser, nullptr);
    EXPECT_FALSE(Shown(windows.browser));
    const RECT browser = WindowRectOf(windows.browser);
    EXPECT_EQ(browser.left, 420 + 240);
    EXPECT_EQ(browser.top, 290 - 100);
    EXPECT_EQ(browser.bottom - browser.top, 222);
    RECT browserClient{};
    GetClientRect(windows.browser, &browserClient);
    EXPECT_EQ(browserClient.right, 400);
    SendMessageW(dialog, WM_COMMAND, IDM_SHOW_BROWSER, 0);
    EXPECT_TRUE(Shown(windows.browser));
  });
}

// The windows keep filling the client area under the tab strip, down to its
// bottom edge and no further.
TEST_F(ReportDialogTest, SizeChangeRefitsTheWindows) {
  ReportInfo info = MakeReportInfo(shot);
  RunReport(info, [&](HWND dialog, const ReportWindows& windows) {
    SendMessageW(dialog, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 250));
    ExpectLaidOut(windows, 300, 250);
  });
}

TEST_F(ReportDialogTest, TabsSwitchBetweenTheTextAndTheCanvas) {
  ReportInfo info = MakeReportInfo(shot);
  RunReport(info, [&](HWND, const ReportWindows& windows) {
    wchar_t title[64] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = title;
    item.cchTextMax = 64;
    const wchar_t* expected[] = {L"テキスト／スクリプト", L"スナップショット"};
    EXPECT_EQ(SendMessageW(windows.tabs, TCM_GETITEMCOUNT, 0, 0), 2);
    for (int index = 0; index < 2; ++index) {
      SendMessageW(windows.tabs, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item));
      EXPECT_STREQ(title, expected[index]);
    }

    ClickTab(windows.tabs, 1);
    EXPECT_EQ(SendMessageW(windows.tabs, TCM_GETCURSEL, 0, 0), 1);
    EXPECT_FALSE(Shown(windows.header));
    EXPECT_FALSE(Shown(windows.report));
    EXPECT_TRUE(Shown(windows.canvas));
    EXPECT_EQ(GetFocus(), windows.canvas);

    ClickTab(windows.tabs, 0);
    EXPECT_TRUE(Shown(windows.header));
    EXPECT_TRUE(Shown(windows.report));
    EXPECT_FALSE(Shown(windows.canvas));
    EXPECT_EQ(GetFocus(), windows.report);
  });
}

TEST_F(ReportDialogTest, TabKeyInsertsATabAtTheCaret) {
  ReportInfo info = MakeReportInfo(shot, L"ab");
  RunReport(info, [&](HWND, const ReportWindows& windows) {
    SendMessageW(windows.report, EM_SETSEL, 1, 1);
    PressKey(windows.report, VK_TAB);
    EXPECT_EQ(WindowText(windows.report), L"a\tb\r\n");
    EXPECT_EQ(GetFocus(), windows.report) << "the focus stays in the report text";
  });
}

// Ctrl+Z undoes the canvas's steps only while the canvas has the focus; in
// the report text it is the edit's own undo.
TEST_F(ReportDialogTest, CtrlZInTheReportTextIsTheEditsOwnUndo) {
  ReportInfo info = MakeReportInfo(shot);
  RunReport(info, [&](HWND, const ReportWindows& windows) {
    ClickTab(windows.tabs, 1);
    DrawShape(windows.canvas, 30002, {10, 10}, {60, 40});  // "矩形": a step of the canvas
    ClickTab(windows.tabs, 0);
    const std::wstring before = WindowText(windows.report);
    TypeText(windows.report, L"誤字");
    ASSERT_EQ(WindowText(windows.report), before + L"誤字");
    PressChord(windows.report, {VK_CONTROL}, 'Z');
    EXPECT_EQ(WindowText(windows.report), before);
    EXPECT_EQ(GetFocus(), windows.report);
  });
}

TEST_F(ReportDialogTest, DisplayedTextStartsTheReportAndIsInsertedAgain) {
  ReportInfo info = MakeReportInfo(shot, L"千早「おはよう」");
  RunReport(info, [&](HWND dialog, const ReportWindows& windows) {
    EXPECT_EQ(WindowText(windows.report), L"千早「おはよう」\r\n");
    SendMessageW(windows.report, EM_SETSEL, 0, 0);
    SendMessageW(dialog, WM_COMMAND, IDM_INSERT_TEXT, 0);
    EXPECT_EQ(WindowText(windows.report), L"千早「おはよう」\r\n千早「おはよう」\r\n");
  });
}

TEST_F(ReportDialogTest, EmptySourcesInsertNothing) {
  ReportInfo info = MakeReportInfo(shot);
  SendHostText(monitors.set().otherInfo, VN_SET_VOICE, L"");
  FillList(ObjectList(), {});
  RunReport(info, [&](HWND dialog, const ReportWindows& windows) {
    EXPECT_EQ(WindowText(windows.report), L"");
    for (int command : {IDM_INSERT_TEXT, IDM_INSERT_VOICE, IDM_INSERT_OBJECTS}) {
      SendMessageW(dialog, WM_COMMAND, command, 0);
      EXPECT_EQ(WindowText(windows.report), L"") << command;
    }
  });
}

TEST_F(ReportDialogTest, VoiceLineLandsAtTheCaret) {
  ReportInfo info = MakeReportInfo(shot);
  SendHostText(monitors.set().otherInfo, VN_SET_VOICE, L"v_chi_0012.ogg");
  RunReport(info, [&](HWND dialog, const ReportWindows& windows) {
    TypeText(windows.report, L"[]");
    SendMessageW(windows.report, EM_SETSEL, 1, 1);
    SendMessageW(dialog, WM_COMMAND, IDM_INSERT_VOICE, 0);
    EXPECT_EQ(WindowText(windows.report), L"[再生中の音声: v_chi_0012.ogg\r\n]");
  });
}

// Widths are byte counts in code page 932: あ and い take two bytes each.
TEST_F(ReportDialogTest, ObjectTableLinesUpByAnsiWidth) {
  ReportInfo info = MakeReportInfo(shot);
  FillList(ObjectList(), {
                             {L"0", L"abc", L"BG", L"表示"},
                             {L"1", L"abcde", L"BU", L"非表示", L"-32", L"0"},
                             {L"2", L"あい", L"", L"hidden after an empty cell"},
                         });
  RunReport(info, [&](HWND dialog, const ReportWindows& windows) {
    SendMessageW(dialog, WM_COMMAND, IDM_INSERT_OBJECTS, 0);
    EXPECT_EQ(WindowText(windows.report),
              L"0 abc   BG 表示   \r\n"
              L"1 abcde BU 非表示 -32 0 \r\n"
              L"2 あい  \r\n");
  });
}

}  // namespace
}  // namespace vnscope::test
