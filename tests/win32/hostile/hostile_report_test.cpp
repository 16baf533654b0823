// A careless engine and DebugReport: screenshots of sizes and depths the
// report cannot copy, a monitor set without monitors, and a second report
// asked for from inside the first one's dialog.
#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "harness/modal_steps.h"
#include "resources/resource.h"

namespace vnscope::test {
namespace {

constexpr wchar_t kReportCaption[] = L"デバッグレポート";
constexpr wchar_t kMessageCaption[] = L"Debug Report";
constexpr wchar_t kNoSnapshot[] = L"PNGの生成準備に失敗しましたorz";

// The dialog's edit controls in creation order: the header, then the report text.
std::vector<HWND> EditsOf(HWND dialog) {
  std::vector<HWND> edits;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[16] = {};
    GetClassNameW(child, name, 16);
    if (lstrcmpiW(name, L"Edit") == 0) edits.push_back(child);
  }
  return edits;
}

class HostileReportTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_TRUE(monitors.created());
  }
  ScopedMonitors monitors{engine.window(), 24};
};

// Screenshots the report cannot copy: the tester is told so once and the
// dialog still opens, without a picture; closing it returns false.
TEST_F(HostileReportTest, ScreenshotsThatCannotBeCopiedLeaveTheDialogUsable) {
  const uint32_t pixels[64 * 48] = {};
  MonitorSet noMonitors{};
  const struct {
    const char* why;
    int32_t width, height, bitsPerPixel;
    const void* pixels;
    MonitorSet* set;
  } cases[] = {
      {"an empty picture", 0, 0, 32, nullptr, nullptr},
      {"no pixels", 64, 48, 32, nullptr, nullptr},
      {"65535 x 8193: past the layers' size limit, no pixels", 65535, 8193, 32, nullptr, nullptr},
      {"65535 x 8193 with pixels: 2 GiB of copy the process cannot have", 65535, 8193, 32, pixels, nullptr},
      {"-1 x -1, read as 65535 x 65535", -1, -1, 32, nullptr, nullptr},
      {"8 bits per pixel", 64, 48, 8, pixels, nullptr},
      {"0 bits per pixel", 64, 48, 0, pixels, nullptr},
      {"-1 bits per pixel, read as 255", 64, 48, -1, pixels, nullptr},
      {"a monitor set the engine never filled", 64, 48, 8, pixels, &noMonitors},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    ReportInfo info{};
    info.width = c.width;
    info.height = c.height;
    info.bitsPerPixel = c.bitsPerPixel;
    info.pixels = c.pixels;
    std::wstring message;
    bool canvasMade = false;
    bool result = true;
    const size_t driven = DriveModalSteps(
        [&] { result = dll.DebugReport(c.set ? c.set : &monitors.set(), &info); },
        {{kMessageCaption,
          [&](HWND box) {
            message = MessageBoxText(box);
            PressOk(box);
          }},
         {kReportCaption, [&](HWND dialog) {
            canvasMade = FindWindowExW(dialog, nullptr, L"SNAPSHOT", nullptr) != nullptr;
            PostMessageW(dialog, WM_CLOSE, 0, 0);
          }}});
    EXPECT_EQ(driven, 2u);
    EXPECT_EQ(message, kNoSnapshot);
    EXPECT_TRUE(canvasMade);
    EXPECT_FALSE(result);
  }
}

// The engine's timer runs inside the report dialog's loop and asks for
// another report: that call returns false at once, and the open dialog keeps
// its record and its snapshot.
struct Reentry {
  const VnscopeDll* dll = nullptr;
  MonitorSet* set = nullptr;
  ReportInfo* info = nullptr;
  std::optional<bool> result;
};
Reentry* g_reentry = nullptr;

void CALLBACK AskForAnotherReport(HWND window, UINT, UINT_PTR id, DWORD) {
  KillTimer(window, id);
  if (g_reentry) g_reentry->result = g_reentry->dll->DebugReport(g_reentry->set, g_reentry->info);
}

TEST_F(HostileReportTest, DebugReportCalledWhileItsDialogIsOpenReturnsFalseAndChangesNothing) {
  std::vector<uint32_t> pixels(64 * 48, 0xFF336699u);
  ReportInfo first{};
  std::memcpy(first.hash, "0123456789abcdef0123456789abcdef", 32);
  std::wcscpy(first.displayedText, L"最初の報告");
  first.width = 64;
  first.height = 48;
  first.bitsPerPixel = 32;
  first.pixels = pixels.data();
  ReportInfo second = first;
  std::wcscpy(second.displayedText, L"二番目");
  Reentry reentry{&dll, &monitors.set(), &second, std::nullopt};
  g_reentry = &reentry;

  std::wstring header, report;
  bool result = true;
  const size_t driven = DriveModalSteps([&] { result = dll.DebugReport(&monitors.set(), &first); },
                                        {{kReportCaption, [&](HWND dialog) {
                                            SetTimer(engine.window(), 1, 10, AskForAnotherReport);
                                            PumpUntil([&] { return reentry.result.has_value(); });
                                            // The first dialog reads its own record still.
                                            SendMessageW(dialog, WM_COMMAND, IDM_INSERT_TEXT, 0);
                                            const std::vector<HWND> edits = EditsOf(dialog);
                                            if (edits.size() >= 2) {
                                              header = WindowText(edits[0]);
                                              report = WindowText(edits[1]);
                                            }
                                            PostMessageW(dialog, WM_CLOSE, 0, 0);
                                          }}});
  g_reentry = nullptr;
  EXPECT_EQ(driven, 1u);
  ASSERT_TRUE(reentry.result.has_value());
  EXPECT_FALSE(*reentry.result);
  EXPECT_NE(header.find(L"hash: 0123456789abcdef0123456789abcdef"), std::wstring::npos) << Narrow(header);
  EXPECT_EQ(report, L"最初の報告\r\n最初の報告\r\n");
  EXPECT_FALSE(result);

  // Once closed, the next report opens as usual.
  const size_t again = DriveModalSteps([&] { result = dll.DebugReport(&monitors.set(), &second); },
                                       {{kReportCaption, [&](HWND dialog) {
                                           const std::vector<HWND> edits = EditsOf(dialog);
                                           if (edits.size() >= 2) report = WindowText(edits[1]);
                                           PostMessageW(dialog, WM_CLOSE, 0, 0);
                                         }}});
  EXPECT_EQ(again, 1u);
  EXPECT_EQ(report, L"二番目\r\n");
}

}  // namespace
}  // namespace vnscope::test
