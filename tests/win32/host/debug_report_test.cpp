// DebugReport: argument checks, the owner of the report dialog and the
// result of a dialog closed without sending.
#include <vector>

#include "harness/harness.h"
#include "resources/resource.h"

namespace vnscope::test {
namespace {

constexpr wchar_t kReportCaption[] = L"デバッグレポート";

class DebugReportTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_TRUE(monitors.created());
    pixels.assign(64 * 48, 0xFF336699u);
    info.width = 64;
    info.height = 48;
    info.bitsPerPixel = 32;
    info.pixels = pixels.data();
  }
  ScopedMonitors monitors{engine.window(), 24};
  std::vector<uint32_t> pixels;
  ReportInfo info{};
};

TEST_F(DebugReportTest, NullArgumentsReturnFalseWithoutAWindow) {
  bool shown = DriveModal(
      kReportCaption,
      [&] {
        EXPECT_FALSE(dll.DebugReport(nullptr, &info));
        EXPECT_FALSE(dll.DebugReport(&monitors.set(), nullptr));
        EXPECT_FALSE(dll.DebugReport(nullptr, nullptr));
      },
      [](HWND dialog) { SendMessageW(dialog, WM_CLOSE, 0, 0); }, std::chrono::milliseconds(500));
  EXPECT_FALSE(shown);
}

TEST_F(DebugReportTest, RunsModallyOwnedByTheEngineAndClosingReturnsFalse) {
  HWND owner = nullptr;
  bool stillOpenAfterEscape = false;
  std::wstring sendItem;
  bool result = true;
  const bool driven = DriveModal(
      kReportCaption, [&] { result = dll.DebugReport(&monitors.set(), &info); },
      [&](HWND dialog) {
        owner = GetWindow(dialog, GW_OWNER);
        wchar_t text[64] = {};
        GetMenuStringW(GetMenu(dialog), IDM_SEND_REPORT, text, 64, MF_BYCOMMAND);
        sendItem = text;
        // Esc's cancel command does not end the dialog; only a close request does.
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        stillOpenAfterEscape = IsWindow(dialog) && IsWindowVisible(dialog);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
      });
  EXPECT_TRUE(driven);
  EXPECT_FALSE(result);
  EXPECT_EQ(owner, engine.window());
  EXPECT_EQ(sendItem, L"レポート送信(&S)");
  EXPECT_TRUE(stillOpenAfterEscape);
  EXPECT_EQ(FindThreadWindow(kReportCaption), nullptr);
}

// The dialog ends with 0 only once a report went out; DebugReport maps that,
// and nothing else, to true.
TEST_F(DebugReportTest, ResultZeroMeansSent) {
  for (INT_PTR ending : {INT_PTR{0}, INT_PTR{1}, INT_PTR{-1}}) {
    bool result = ending != 0;
    EXPECT_TRUE(DriveModal(kReportCaption, [&] { result = dll.DebugReport(&monitors.set(), &info); },
                           [&](HWND dialog) { EndDialog(dialog, ending); }));
    EXPECT_EQ(result, ending == 0) << ending;
  }
}

}  // namespace
}  // namespace vnscope::test
