// The send flow against servers of the test's own (a capture that answers 0
// or refuses with 1, and no server at all), and the close that waits for the
// browser's worker. These tests link the report dialog directly, so that they
// can point it at their server; its templates come from the loaded DLL.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <iterator>
#include <string>
#include <vector>

#include "bench/native/canvas/literal_passes.h"
#include "browser/browser_worker.h"
#include "canvas/layer_stack.h"
#include "canvas/snapshot_canvas.h"
#include "harness/harness.h"
#include "harness/list_driving.h"
#include "harness/local_app_data.h"
#include "harness/loopback.h"
#include "harness/modal_steps.h"
#include "report/dialog/capture_server.h"
#include "report/dialog/report_driving.h"
#include "report/report_server.h"
#include "report/send_report.h"
#include "resources/resource.h"
#include "tests/native/canvas/canvas_fixture.h"
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

  bool RunReport(ReportInfo& info) { return RunLinkedReport(engine.window(), &monitors.set(), info); }

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

  PrivateLocalAppData localAppData;
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
  SetLineColour(RGB(255, 0, 0));
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

  EXPECT_TRUE(choice.startedWithGameState) << "the game state always starts checked";

  const std::vector<ZipEntry> entries = ReadStoredZip(server.Package());
  ASSERT_EQ(entries.size(), 8u);
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
  EXPECT_EQ(width, 160);
  EXPECT_EQ(height, 120);
  // The picture the tester saw, from the drawing and compositing rules: the
  // screenshot turned top-down and opaque; the segment stamps its plus-shaped
  // brush at x = 10 to 150 on row 60, ends included; every pixel the brush
  // covers darkens its 3 x 3 neighbourhood and then shows the line colour.
  const auto covered = [](int x, int y) {
    return (y == 60 && x >= 9 && x <= 151) || ((y == 59 || y == 61) && x >= 10 && x <= 150);
  };
  size_t differences = 0;
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 160; ++x) {
      uint32_t expected = shot.TopDownPixel(x, y) | 0xFF000000u;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
          if (covered(x + dx, y + dy)) expected = 0xFF000000u;
      if (covered(x, y)) expected = 0xFFFF0000u;
      if (png[static_cast<size_t>(y) * 160 + x] != expected && ++differences <= 5) {
        ADD_FAILURE() << "snapshot pixel (" << x << ", " << y << ") is " << std::hex
                      << png[static_cast<size_t>(y) * 160 + x] << ", expected " << expected;
      }
    }
  }
  EXPECT_EQ(differences, 0u);

  // Each row up to its first empty cell, quoted, each cell followed by a comma.
  EXPECT_EQ(entries[3].name, "objectlist.csv");
  EXPECT_EQ(entries[3].data, Ansi(L"\"0\",\"bg01\",\"BG\",\"表示\",\n"
                                  L"\"1\",\"千早_制服\",\"BU\",\"非表示\",\"-32\",\"0\",\n"
                                  L"\"2\",\n",
                                  true));
  // Then the game state, after the entries above and before the id; their
  // bytes are the game state tests' (round_trip/game_state_test.cpp).
  EXPECT_EQ(entries[4].name, "variables.csv");
  EXPECT_EQ(entries[5].name, "gamestate.txt");
  const std::string state(entries[5].data.begin(), entries[5].data.end());
  // 第 U+7B2C, 一 U+4E00, 章 U+7AE0 in UTF-8: no code page in between.
  EXPECT_EQ(state.substr(0, 18), "label: \xE7\xAC\xAC\xE4\xB8\x80\xE7\xAB\xA0\r\n") << state;
  EXPECT_EQ(entries[6].name, "executionlog.txt");
  // Last, the dialog's report id: 32 lowercase hexadecimal digits.
  EXPECT_EQ(entries[7].name, "reportid");
  EXPECT_EQ(entries[7].data.size(), 32u);
  for (uint8_t digit : entries[7].data) EXPECT_TRUE(std::isxdigit(digit) && !std::isupper(digit)) << digit;
}

// The picture the shapes should send, built without the canvas: the layer
// they leave, from the brush's stamps along each shape and the mosaic's
// block means of the screenshot, composited over the screenshot by the
// literal passes.
std::vector<uint32_t> ExpectedShapes(const TestScreenshot& shot) {
  const int width = shot.width, height = shot.height;
  std::vector<uint32_t> layer(static_cast<size_t>(width) * height, 0);
  // The mosaic's blocks: x 96 to 135, y 64 to 95.
  for (int blockY = 64; blockY < 96; blockY += 8)
    for (int blockX = 96; blockX < 136; blockX += 8) {
      uint32_t sums[3] = {};
      for (int y = blockY; y < blockY + 8; ++y)
        for (int x = blockX; x < blockX + 8; ++x)
          for (int channel = 0; channel < 3; ++channel) sums[channel] += (shot.TopDownPixel(x, y) >> (8 * channel)) & 0xFF;
      uint32_t mean = 0xFF000000u;
      for (int channel = 0; channel < 3; ++channel) mean |= ((sums[channel] + 32) / 64) << (8 * channel);
      for (int y = blockY; y < blockY + 8; ++y)
        for (int x = blockX; x < blockX + 8; ++x) layer[static_cast<size_t>(y) * width + x] = mean;
    }
  const Points strokes = Joined(Boundary(10, 10, 60, 40), Joined(Row(20, 70, 90), RightwardHead(70, 90)));
  for (const auto& [x, y] : Stamps(strokes, width, height)) layer[static_cast<size_t>(y) * width + x] = 0xFFFF0000u;
  std::vector<uint32_t> base(layer.size());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) base[static_cast<size_t>(y) * width + x] = shot.TopDownPixel(x, y);
  std::vector<uint32_t> composite(layer.size(), 0);
  literal::Recomposite({{width, height, reinterpret_cast<const uint8_t*>(base.data())},
                        {width, height, reinterpret_cast<const uint8_t*>(layer.data())}},
                       reinterpret_cast<uint8_t*>(composite.data()), width, height);
  for (uint32_t& pixel : composite) pixel |= 0xFF000000u;
  return composite;
}

TEST_F(SendFlowTest, SnapshotShowsTheShapesAndTheMosaicAsDrawn) {
  CaptureServer server(0);
  SetReportServer({"127.0.0.1", server.port()});
  SetLineColour(RGB(255, 0, 0));
  ReportInfo info = MakeReportInfo(shot);
  ConfirmChoice choice{L"図形の報告"};
  std::wstring message;
  bool result = false;
  EXPECT_EQ(Send(info, L"", &choice, &message, &result, nullptr,
                 [&](const ReportWindows& windows) {
                   ClickTab(windows.tabs, 1);
                   const HWND canvas = windows.canvas;
                   // The mosaic first, so that its blocks average the screenshot alone.
                   DrawShape(canvas, kMosaicToolCommand, {100, 70}, {130, 95});
                   DrawShape(canvas, kRectangleToolCommand, {10, 10}, {60, 40});
                   DrawShape(canvas, kRectangleToolCommand, {120, 10}, {150, 40});
                   PressChord(canvas, {VK_CONTROL}, 'Z');  // the second rectangle goes
                   DrawShape(canvas, kArrowToolCommand, {20, 90}, {70, 90});
                   PressChord(canvas, {VK_CONTROL}, 'Z');
                   PressChord(canvas, {VK_CONTROL}, 'Y');  // the arrow goes and comes back
                 }),
            3u);
  EXPECT_TRUE(result);
  EXPECT_FALSE(choice.startedWithText);
  EXPECT_TRUE(choice.startedWithSnapshot);
  const std::vector<ZipEntry> entries = ReadStoredZip(server.Package());
  ASSERT_EQ(entries.size(), 7u) << "author, snapshot.png, objectlist.csv, the game state and reportid";
  ASSERT_EQ(entries[1].name, "snapshot.png");
  int width = 0;
  int height = 0;
  const std::vector<uint32_t> png = DecodePng(entries[1].data, &width, &height);
  ASSERT_EQ(png.size(), 160u * 120u);
  const std::vector<uint32_t> expected = ExpectedShapes(shot);
  size_t differing = 0;
  for (size_t i = 0; i < png.size(); ++i) differing += png[i] != expected[i];
  EXPECT_EQ(differing, 0u) << "first at pixel "
                           << std::distance(png.begin(), std::mismatch(png.begin(), png.end(), expected.begin()).first);
}

// With every step undone the picture is the screenshot again: only the text
// box starts checked.
TEST_F(SendFlowTest, UndoingEveryStepLeavesTheSnapshotUnchecked) {
  CaptureServer server(0);
  SetReportServer({"127.0.0.1", server.port()});
  ReportInfo info = MakeReportInfo(shot);
  ConfirmChoice choice{L"取り消した図形"};
  std::wstring message;
  bool result = false;
  Send(info, L"本文", &choice, &message, &result, nullptr, [&](const ReportWindows& windows) {
    ClickTab(windows.tabs, 1);
    DrawShape(windows.canvas, kRectangleToolCommand, {10, 10}, {60, 40});
    PressChord(windows.canvas, {VK_CONTROL}, 'Z');
  });
  EXPECT_TRUE(choice.startedWithText);
  EXPECT_FALSE(choice.startedWithSnapshot);
  EXPECT_EQ(ReadStoredZip(server.Package()).size(), 6u) << "author, scriptinfo.txt, the game state and reportid";
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
  EXPECT_TRUE(localAppData.OutboxFiles().empty()) << "a refusal is an answer: nothing waits to be sent again";
}

TEST_F(SendFlowTest, NoServerFailsWithoutHanging) {
  SetReportServer({"127.0.0.1", UnusedPort()});
  ReportInfo info = MakeReportInfo(shot);
  ConfirmChoice choice{L"届かない報告"};
  std::wstring message;
  bool result = true;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Send(info, L"text", &choice, &message, &result), 3u);
  EXPECT_EQ(message,
            L"レポートの送信に失敗しましたorz\nレポートは送信待ちとして保存しました。サーバーに接続できたときに自動で送信します。");
  EXPECT_FALSE(result);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

// A send would fail here and say so: the cancel must end the flow first.
// Any message box is modal and waits inside the send command, where the third
// step would find it; the command returning is the sign that none came.
TEST_F(SendFlowTest, CancelledConfirmationSendsNothingAndSaysNothing) {
  SetReportServer({"127.0.0.1", UnusedPort()});
  ReportInfo info = MakeReportInfo(shot);
  bool result = true;
  bool sendReturned = false;
  std::wstring message;
  const size_t driven = DriveModalSteps(
      [&] { result = RunReport(info); },
      {{kReportCaption,
        [&](HWND dialog) {
          TypeText(FindReportWindows(dialog).report, L"x");
          SendMessageW(dialog, WM_COMMAND, IDM_SEND_REPORT, 0);
          sendReturned = true;
          PostMessageW(dialog, WM_CLOSE, 0, 0);
        }},
       {kConfirmCaption, [](HWND confirm) { PostMessageW(confirm, WM_COMMAND, IDCANCEL, 0); }},
       {kMessageCaption, ReadMessage(&message)}});
  EXPECT_TRUE(sendReturned);
  EXPECT_EQ(driven, 2u) << "a message box came: " << Narrow(message);
  EXPECT_FALSE(result);
  EXPECT_EQ(message, L"");
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
