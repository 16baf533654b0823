// Sending reports through DebugReport to the real report server on loopback
// (scripts/test starts it at the build's endpoint), read back with the client.
#include <string>
#include <vector>

#include "harness/harness.h"
#include "harness/modal_steps.h"
#include "harness/report_seeding.h"
#include "report/dialog/report_driving.h"
#include "report/protocol/report_client.h"
#include "report/protocol/report_types.h"
#include "report/protocol/system_ansi_codec.h"
#include "report/protocol/winsock_stream.h"
#include "resources/resource.h"
#include "win32/win32_text.h"

namespace vnscope::test {
namespace {

// What the server holds for a report, found by its unique title.
struct StoredReport {
  bool found = false;
  std::u16string name;
  uint32_t flags = 0;
  std::u16string reporter;
  std::u16string text;
  std::vector<std::vector<uint8_t>> snapshots;
};

StoredReport FetchStored(const std::wstring& title) {
  StoredReport stored;
  const ServerEndpoint server = BuildServerEndpoint();
  ReportRecords table;
  WinsockStream list;
  EXPECT_TRUE(ListReports(list, server, SystemAnsiCodec(), &table)) << list.LastFailure();
  for (const auto& [name, record] : table) {
    if (record.title != AsUtf16(title)) continue;
    stored.found = true;
    stored.name = name;
    stored.flags = record.flags;
    stored.reporter = record.reporter;
  }
  if (!stored.found) return stored;
  WinsockStream fetch;
  ReportTextSink sink{[&](const std::u16string& text) { stored.text = text; }, [&] { stored.text += u"\r\n"; }};
  FetchReport(fetch, server, SystemAnsiCodec(), stored.name, sink);
  WinsockStream snapshot;
  FetchSnapshots(snapshot, server, SystemAnsiCodec(), {stored.name},
                 [&](std::span<const uint8_t> png) { stored.snapshots.emplace_back(png.begin(), png.end()); });
  return stored;
}

class ReportSendTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_TRUE(monitors.created());
    ASSERT_EQ(GetACP(), 932u);
  }

  // DebugReport with `before` run on the dialog, then "レポート送信(&S)" with
  // `choice` in the confirmation; the message box's text lands in `message`.
  // A dialog still open after the send is closed. Returns DebugReport's result.
  bool SendThrough(ReportInfo& info, const std::function<void(HWND, const ReportWindows&)>& before,
                   ConfirmChoice* choice, std::wstring* message) {
    bool result = false;
    const size_t driven = DriveModalSteps(
        [&] { result = dll.DebugReport(&monitors.set(), &info); },
        {{kReportCaption,
          [&](HWND dialog) {
            const ReportWindows windows = FindReportWindows(dialog);
            before(dialog, windows);
            SendMessageW(dialog, WM_COMMAND, IDM_SEND_REPORT, 0);
            // A sent report has ended the dialog already; this only closes a
            // dialog left open by a failure.
            PostMessageW(dialog, WM_CLOSE, 0, 0);
          }},
         {kConfirmCaption, AcceptConfirm(choice)},
         {kMessageCaption, ReadMessage(message)}});
    EXPECT_EQ(driven, 3u);
    return result;
  }

  ScopedMonitors monitors{engine.window(), 24};
  TestScreenshot shot = MakeScreenshot(320, 240);
};

TEST_F(ReportSendTest, TextOnlyReportCarriesAuthorAndScriptInfo) {
  ReportInfo info = MakeReportInfo(shot);
  ConfirmChoice choice{UniqueTitle(L"立ち絵が欠ける")};
  std::wstring message;
  std::wstring header;
  const bool sent = SendThrough(info, [&](HWND, const ReportWindows& windows) {
    TypeText(windows.report, L"千早の台詞で立ち絵が一瞬消える。");
    header = WindowText(windows.header);
  }, &choice, &message);
  EXPECT_TRUE(sent) << "DebugReport is true after a report went out";
  EXPECT_EQ(message, L"レポートの送信に成功しました。");
  EXPECT_TRUE(choice.startedWithText);
  EXPECT_FALSE(choice.startedWithSnapshot) << "nothing was drawn";

  const StoredReport stored = FetchStored(choice.title);
  ASSERT_TRUE(stored.found);
  EXPECT_EQ(stored.flags, ReportFlags::HasText);
  EXPECT_EQ(stored.reporter, AsUtf16(UserName()));
  // scriptinfo.txt: header, line end, report text, line end (the server adds
  // its line break after the text).
  EXPECT_EQ(stored.text, AsUtf16(header) + u"\r\n" + u"千早の台詞で立ち絵が一瞬消える。\r\n" + u"\r\n");
  EXPECT_TRUE(stored.snapshots.empty());
}

TEST_F(ReportSendTest, BothBoxesUncheckedSendsTheAuthorAlone) {
  ReportInfo info = MakeReportInfo(shot, L"表示中の文章");
  ConfirmChoice choice{UniqueTitle(L"中身なし"), false, false, false};
  std::wstring message;
  EXPECT_TRUE(SendThrough(info, [](HWND, const ReportWindows&) {}, &choice, &message));
  EXPECT_EQ(message, L"レポートの送信に成功しました。");
  const StoredReport stored = FetchStored(choice.title);
  ASSERT_TRUE(stored.found);
  EXPECT_EQ(stored.flags, 0u);
  EXPECT_TRUE(stored.snapshots.empty());
}

TEST_F(ReportSendTest, NothingEditedSendsNothing) {
  ReportInfo info = MakeReportInfo(shot);
  std::wstring notice;
  std::wstring caption;
  bool result = true;
  const size_t driven = DriveModalSteps(
      [&] { result = dll.DebugReport(&monitors.set(), &info); },
      {{kReportCaption,
        [&](HWND dialog) {
          SendMessageW(dialog, WM_COMMAND, IDM_SEND_REPORT, 0);
          PostMessageW(dialog, WM_CLOSE, 0, 0);
        }},
       // The notice comes while the confirmation initialises, owned by it,
       // with the system's default caption.
       {kConfirmCaption, [&](HWND confirm) {
          HWND box = OwnedWindow(confirm);
          notice = MessageBoxText(box);
          caption = WindowText(box);
          PressOk(box);
        }}});
  EXPECT_EQ(driven, 2u);
  EXPECT_EQ(notice, L"全く編集されていません。");
  EXPECT_NE(caption, kMessageCaption);
  EXPECT_FALSE(result);
  EXPECT_EQ(FindThreadWindow(kConfirmCaption), nullptr);
}

// A 24-bit screenshot is widened to 32 bits with opaque alpha; it is what the
// canvas shows and what goes out when the snapshot box is checked by hand.
TEST_F(ReportSendTest, TwentyFourBitScreenshotIsSentOpaque) {
  const TestScreenshot shot24 = MakeScreenshot(64, 48, 24);
  ReportInfo info = MakeReportInfo(shot24);
  ConfirmChoice choice{UniqueTitle(L"24ビット"), true, true};
  std::wstring message;
  EXPECT_TRUE(SendThrough(info, [](HWND, const ReportWindows& windows) {
    TypeText(windows.report, L"24-bit");
  }, &choice, &message));
  const StoredReport stored = FetchStored(choice.title);
  ASSERT_TRUE(stored.found);
  ASSERT_EQ(stored.snapshots.size(), 1u);
  int width = 0;
  int height = 0;
  const std::vector<uint32_t> pixels = DecodePng(stored.snapshots[0], &width, &height);
  ASSERT_EQ(pixels.size(), 64u * 48u);
  int matching = 0;
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) matching += pixels[y * 64 + x] == shot24.TopDownPixel(x, y);
  }
  EXPECT_EQ(matching, 64 * 48);
}

// Any other depth leaves the snapshot empty with a message; the text report
// still goes out, and a snapshot asked for stops at the PNG.
TEST_F(ReportSendTest, SixteenBitScreenshotLeavesTheSnapshotEmpty) {
  const TestScreenshot shot16 = MakeScreenshot(64, 48, 16);
  ReportInfo info = MakeReportInfo(shot16);
  std::wstring atStart;
  std::wstring pngMessage;
  std::wstring sentMessage;
  ConfirmChoice withSnapshot{UniqueTitle(L"16ビット"), true, true};
  ConfirmChoice textOnly{withSnapshot.title, true, false};
  bool result = false;
  const size_t driven = DriveModalSteps(
      [&] { result = dll.DebugReport(&monitors.set(), &info); },
      {{kMessageCaption, ReadMessage(&atStart)},
       {kReportCaption,
        [&](HWND dialog) {
          TypeText(FindReportWindows(dialog).report, L"16-bit");
          SendMessageW(dialog, WM_COMMAND, IDM_SEND_REPORT, 0);
          SendMessageW(dialog, WM_COMMAND, IDM_SEND_REPORT, 0);
        }},
       {kConfirmCaption, AcceptConfirm(&withSnapshot)},
       {kMessageCaption, ReadMessage(&pngMessage)},
       {kConfirmCaption, AcceptConfirm(&textOnly)},
       {kMessageCaption, ReadMessage(&sentMessage)}});
  EXPECT_EQ(driven, 6u);
  EXPECT_EQ(atStart, L"PNGの生成準備に失敗しましたorz");
  EXPECT_EQ(pngMessage, L"PNGの生成に失敗しましたorz");
  EXPECT_EQ(sentMessage, L"レポートの送信に成功しました。");
  EXPECT_TRUE(result);
  const StoredReport stored = FetchStored(textOnly.title);
  ASSERT_TRUE(stored.found);
  EXPECT_EQ(stored.flags, ReportFlags::HasText);
}

}  // namespace
}  // namespace vnscope::test
