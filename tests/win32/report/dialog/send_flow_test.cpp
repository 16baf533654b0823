// The send flow against servers of the test's own (a capture that answers 0
// or refuses with 1, and no server at all), and the close that waits for the
// browser's worker. These tests link the report dialog directly, so that they
// can point it at their server; its templates come from the loaded DLL.
#include <chrono>
#include <string>
#include <vector>

#include "browser/browser_worker.h"
#include "canvas/layer_stack.h"
#include "harness/harness.h"
#include "harness/list_driving.h"
#include "harness/loopback.h"
#include "harness/modal_steps.h"
#include "report/debug_report_dialog.h"
#include "report/dialog/capture_server.h"
#include "report/dialog/report_driving.h"
#include "report/send_report.h"
#include "resources/resource.h"
#include "win32/module.h"

namespace vnscope::test {
namespace {

std::vector<uint8_t> Ansi(const std::wstring& text, bool terminated) {
  const int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::vector<uint8_t> bytes(static_cast<size_t>(length));
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, reinterpret_cast<char*>(bytes.data()), length, nullptr, nullptr);
  if (!terminated) bytes.pop_back();
  return bytes;
}

// "author" as its definition lays it out: two 0-terminated UTF-16LE strings
// and the flags, little-endian.
std::vector<uint8_t> ExpectedAuthor(const std::wstring& title, const std::wstring& reporter, uint8_t flags) {
  std::vector<uint8_t> bytes;
  for (const std::wstring* text : {&title, &reporter}) {
    for (wchar_t unit : *text + L'\0') {
      bytes.push_back(static_cast<uint8_t>(unit));
      bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
  }
  bytes.insert(bytes.end(), {flags, 0, 0, 0});
  return bytes;
}

class SendFlowTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_TRUE(monitors.created());
    ASSERT_EQ(GetACP(), 932u);
    SetModuleInstance(dll.module);
  }

  // What DebugReport does, with this program's copy of the dialog.
  bool RunReport(ReportInfo& info) {
    CurrentReportSession() = {&monitors.set(), &info};
    ScopedModuleContext context;
    const INT_PTR result = DialogBoxParamW(dll.module, MAKEINTRESOURCEW(IDD_DEBUG_REPORT), engine.window(),
                                           DebugReportDialogProc, 0);
    CurrentReportSession() = {};
    return result == 0;
  }

  // Types `text`, sends with `choice`, reads the message; records whether the
  // dialog still held the text afterwards, then closes it if it is open.
  size_t Send(ReportInfo& info, const std::wstring& text, ConfirmChoice* choice, std::wstring* message,
              bool* result, std::wstring* textAfterSend = nullptr,
              const std::function<void(const ReportWindows&)>& draw = nullptr) {
    return DriveModalSteps(
        [&] { *result = RunReport(info); },
        {{kReportCaption,
          [&](HWND dialog) {
            const ReportWindows windows = FindReportWindows(dialog);
            TypeText(windows.report, text);
            if (draw) draw(windows);
            SendMessageW(dialog, WM_COMMAND, IDM_SEND_REPORT, 0);
            if (textAfterSend) *textAfterSend = WindowText(windows.report);
            PostMessageW(dialog, WM_CLOSE, 0, 0);
          }},
         {kConfirmCaption, AcceptConfirm(choice)},
         {kMessageCaption, ReadMessage(message)}});
  }

  ScopedMonitors monitors{engine.window(), 24};
  TestScreenshot shot = MakeScreenshot(160, 120);
};

TEST_F(SendFlowTest, PackageHoldsEveryEntryInOrder) {
  CaptureServer server(0);
  SetReportServer({"127.0.0.1", server.port()});
  // The engine's objects: one without position, one with, one without a name.
  HWND objectList = monitors.set().objectList;
  SendHostMessage(objectList, VN_CLEAR_OBJECTS, nullptr, 0);
  const ObjectEntry objects[] = {
      {0, L"bg01", 1, 0, {}, 0, 0},
      {1, L"千早_制服", 3, 1, {}, -32, 0},
      {2, L"", 0xE0, 0, {}, 0, 0},
  };
  const DWORD sizes[] = {16, 24, 16};
  for (int i = 0; i < 3; ++i) SendHostMessage(objectList, VN_ADD_OBJECT, &objects[i], sizes[i]);
  SendHostText(monitors.set().otherInfo, VN_SET_JUMP_LABEL, L"第一章");
  ReportInfo info = MakeReportInfo(shot);
  ConfirmChoice choice{L"送信テスト"};
  std::wstring message;
  bool result = false;
  std::wstring header;
  EXPECT_EQ(Send(info, L"本文", &choice, &message, &result, nullptr,
                 [&](const ReportWindows& windows) {
                   header = WindowText(windows.header);
                   ClickTab(windows.tabs, 1);
                   DrawSegment(windows.canvas, {10, 60}, {150, 60});
                 }),
            3u);
  EXPECT_TRUE(result);
  EXPECT_EQ(message, L"レポートの送信に成功しました。");
  EXPECT_TRUE(choice.startedWithText);
  EXPECT_TRUE(choice.startedWithSnapshot) << "a line was drawn";

  const std::vector<ZipEntry> entries = ReadStoredZip(server.Package());
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].name, "author");
  EXPECT_EQ(entries[0].data, ExpectedAuthor(L"送信テスト", UserName(), 3));
  EXPECT_EQ(entries[1].name, "scriptinfo.txt");
  std::vector<uint8_t> script = Ansi(header + L"\r\n", false);
  const std::vector<uint8_t> body = Ansi(L"本文\r\n", true);
  script.insert(script.end(), body.begin(), body.end());
  EXPECT_EQ(entries[1].data, script);

  EXPECT_EQ(entries[2].name, "snapshot.png");
  int width = 0;
  int height = 0;
  const std::vector<uint32_t> png = DecodePng(entries[2].data, &width, &height);
  ASSERT_EQ(png.size(), 160u * 120u);
  // The canvas's layers outlive its window: flattening again gives the picture sent.
  std::vector<uint32_t> flattened(160 * 120, 0);
  FlattenSnapshot(32, 160, 120, reinterpret_cast<uint8_t*>(flattened.data()));
  EXPECT_TRUE(png == flattened) << "the PNG is the flattened canvas";
  EXPECT_NE(png[60 * 160 + 80], shot.TopDownPixel(80, 60) | 0xFF000000u) << "the line shows";
  EXPECT_EQ(png[5 * 160 + 80], shot.TopDownPixel(80, 5) | 0xFF000000u) << "opaque screenshot elsewhere";

  // Each row up to its first empty cell, quoted, each cell followed by a comma.
  EXPECT_EQ(entries[3].name, "objectlist.csv");
  EXPECT_EQ(entries[3].data, Ansi(L"\"0\",\"bg01\",\"BG\",\"表示\",\n"
                                  L"\"1\",\"千早_制服\",\"BU\",\"非表示\",\"-32\",\"0\",\n"
                                  L"\"2\",\n",
                                  true));
}

TEST_F(SendFlowTest, RefusalKeepsTheDialogOpenWithTheText) {
  CaptureServer server(1);
  SetReportServer({"127.0.0.1", server.port()});
  ReportInfo info = MakeReportInfo(shot);
  ConfirmChoice choice{L"断られる報告"};
  std::wstring message;
  std::wstring after;
  bool result = true;
  EXPECT_EQ(Send(info, L"書いたこと", &choice, &message, &result, &after), 3u);
  EXPECT_EQ(message, L"レポートの送信に失敗しましたorz");
  EXPECT_EQ(after, L"書いたこと") << "the dialog stays open with what was written";
  EXPECT_FALSE(result);
  EXPECT_FALSE(server.Package().empty()) << "the package reached the server, which refused it";
}

TEST_F(SendFlowTest, NoServerFailsWithoutHanging) {
  SetReportServer({"127.0.0.1", UnusedPort()});
  ReportInfo info = MakeReportInfo(shot);
  ConfirmChoice choice{L"届かない報告"};
  std::wstring message;
  bool result = true;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Send(info, L"text", &choice, &message, &result), 3u);
  EXPECT_EQ(message, L"レポートの送信に失敗しましたorz");
  EXPECT_FALSE(result);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

// A send would fail here and say so: the cancel must end the flow first.
TEST_F(SendFlowTest, CancelledConfirmationSendsNothingAndSaysNothing) {
  SetReportServer({"127.0.0.1", UnusedPort()});
  ReportInfo info = MakeReportInfo(shot);
  bool result = true;
  bool messageShown = false;
  const size_t driven = DriveModalSteps(
      [&] { result = RunReport(info); },
      {{kReportCaption,
        [&](HWND dialog) {
          TypeText(FindReportWindows(dialog).report, L"x");
          SendMessageW(dialog, WM_COMMAND, IDM_SEND_REPORT, 0);
          messageShown = FindThreadWindow(kMessageCaption) != nullptr;
          PostMessageW(dialog, WM_CLOSE, 0, 0);
        }},
       {kConfirmCaption, [](HWND confirm) { PostMessageW(confirm, WM_COMMAND, IDCANCEL, 0); }}});
  EXPECT_EQ(driven, 2u);
  EXPECT_FALSE(result);
  EXPECT_FALSE(messageShown);
}

DWORD WINAPI WaitForEvent(void* event) {
  WaitForSingleObject(static_cast<HANDLE>(event), 30000);
  return 0;
}

DWORD WINAPI SetEventSoon(void* event) {
  Sleep(300);
  SetEvent(static_cast<HANDLE>(event));
  return 0;
}

// Closing waits for the browser's worker, but never more than 5 seconds.
TEST_F(SendFlowTest, CloseWaitsForTheBrowserWorkerAtMostFiveSeconds) {
  ReportInfo info = MakeReportInfo(shot);
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE soon = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::chrono::steady_clock::duration busyWait{};
  std::chrono::steady_clock::duration shortWait{};
  for (auto [event, waited] : {std::pair{never, &busyWait}, std::pair{soon, &shortWait}}) {
    bool result = true;
    DriveModal(kReportCaption, [&] { result = RunReport(info); },
               [&, event = event, waited = waited](HWND dialog) {
                 WaitForBrowserWorker(10000, true);
                 ASSERT_TRUE(StartBrowserWorker(WaitForEvent, event));
                 // The short worker ends 300 ms into the close.
                 if (event == soon) {
                   CloseHandle(CreateThread(nullptr, 0, SetEventSoon, event, 0, nullptr));
                 }
                 const auto start = std::chrono::steady_clock::now();
                 SendMessageW(dialog, WM_CLOSE, 0, 0);
                 *waited = std::chrono::steady_clock::now() - start;
               });
    EXPECT_FALSE(result);
  }
  SetEvent(never);
  EXPECT_GE(busyWait, std::chrono::milliseconds(4900));
  EXPECT_LT(busyWait, std::chrono::milliseconds(8000));
  EXPECT_GE(shortWait, std::chrono::milliseconds(250));
  EXPECT_LT(shortWait, std::chrono::milliseconds(4000));
  CloseHandle(never);
  CloseHandle(soon);
}

}  // namespace
}  // namespace vnscope::test
