// The execution log follows its file as the engine writes it.
#include <fstream>
#include <string>

#include "harness/harness.h"
#include "resources/resource.h"

namespace vnscope::test {
namespace {

// Counts the timer messages this thread takes from its queue for one window:
// each is a poll of the log file about to be handled.
class TimerTicks {
 public:
  explicit TimerTicks(HWND window) {
    watched_ = window;
    count_ = 0;
    hook_ = SetWindowsHookExW(WH_GETMESSAGE, Watch, nullptr, GetCurrentThreadId());
  }
  ~TimerTicks() { UnhookWindowsHookEx(hook_); }
  TimerTicks(const TimerTicks&) = delete;
  TimerTicks& operator=(const TimerTicks&) = delete;
  bool hooked() const { return hook_ != nullptr; }
  int count() const { return count_; }

 private:
  static LRESULT CALLBACK Watch(int code, WPARAM removal, LPARAM message) {
    const auto* taken = reinterpret_cast<const MSG*>(message);
    if (code == HC_ACTION && removal == PM_REMOVE && taken->message == WM_TIMER && taken->hwnd == watched_) ++count_;
    return CallNextHookEx(nullptr, code, removal, message);
  }
  static inline HWND watched_ = nullptr;
  static inline int count_ = 0;
  HHOOK hook_ = nullptr;
};

class ExecutionLogTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_TRUE(monitors.created());
    dialog = monitors.set().executionLog;
    fileName = L"log_test_" + std::to_wstring(GetCurrentProcessId()) + L".log";
    DeleteFileW(fileName.c_str());
    SendHostText(dialog, VN_LOG_FILE_NAME, fileName, engine.window());
  }
  void TearDown() override { DeleteFileW(fileName.c_str()); }

  // Appends UTF-16LE units as the engine writes them.
  void Write(const std::u16string& text) {
    std::ofstream out(Narrow(fileName), std::ios::binary | std::ios::app);
    out.write(reinterpret_cast<const char*>(text.data()), static_cast<std::streamsize>(text.size() * 2));
  }
  std::wstring Shown() { return ControlText(dialog, IDC_LOG_TEXT); }
  bool ShowsWithinASecond(const std::wstring& expected) {
    return PumpUntil([&] { return Shown() == expected; }, std::chrono::milliseconds(1000));
  }

  ScopedMonitors monitors{engine.window(), 24};
  HWND dialog = nullptr;
  std::wstring fileName;
};

TEST_F(ExecutionLogTest, TitleNamesTheFileFollowed) {
  EXPECT_EQ(WindowText(dialog), L"実行ログ[" + fileName + L"]");
  // A path that does not fit 260 units with its NUL is ignored.
  SendHostText(dialog, VN_LOG_FILE_NAME, std::wstring(260, L'p'), engine.window());
  EXPECT_EQ(WindowText(dialog), L"実行ログ[" + fileName + L"]");
}

TEST_F(ExecutionLogTest, FileCreatedAfterStartIsShownAndFollowed) {
  // Two polls have looked for the missing file and shown nothing.
  TimerTicks polls(dialog);
  ASSERT_TRUE(polls.hooked());
  ASSERT_TRUE(PumpUntil([&] { return polls.count() >= 2; }, std::chrono::milliseconds(3000)));
  EXPECT_EQ(Shown(), L"");
  Write(u"a\nb");
  EXPECT_TRUE(ShowsWithinASecond(L"a\r\nb")) << Narrow(Shown());
  Write(u"c\n実行\n");
  EXPECT_TRUE(ShowsWithinASecond(L"a\r\nbc\r\n実行\r\n")) << Narrow(Shown());
}

TEST_F(ExecutionLogTest, NamingTheSameFileAgainShowsItAgainBelow) {
  Write(u"x\n");
  ASSERT_TRUE(ShowsWithinASecond(L"x\r\n"));
  SendHostText(dialog, VN_LOG_FILE_NAME, fileName, engine.window());
  EXPECT_TRUE(ShowsWithinASecond(L"x\r\nx\r\n")) << Narrow(Shown());
}

TEST_F(ExecutionLogTest, RewrittenFileIsFollowedFromItsStart) {
  Write(u"first run, a long line\n");
  ASSERT_TRUE(ShowsWithinASecond(L"first run, a long line\r\n"));
  DeleteFileW(fileName.c_str());
  Write(u"second\n");
  EXPECT_TRUE(ShowsWithinASecond(L"first run, a long line\r\nsecond\r\n")) << Narrow(Shown());
}

TEST_F(ExecutionLogTest, ABurstShowsItsEndAndKeepsTheDisplayBounded) {
  std::u16string burst;
  for (int line = 0; burst.size() < (1u << 20); ++line) burst += u"line " + std::u16string(60, u'.') + u"\n";
  burst += u"last line\n";
  Write(burst);
  EXPECT_TRUE(PumpUntil([&] { return Shown().ends_with(L"\r\nlast line\r\n"); }, std::chrono::milliseconds(3000)));
  // The oldest lines went; whole lines stay.
  EXPECT_LT(Shown().size(), burst.size() / 4);
  EXPECT_TRUE(Shown().starts_with(L"line ")) << Narrow(Shown().substr(0, 80));
}

}  // namespace
}  // namespace vnscope::test
