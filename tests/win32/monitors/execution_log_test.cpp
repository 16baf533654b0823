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

// Numbered log lines from `first` on, `units` of them or a line more.
std::u16string NumberedLines(int first, size_t units) {
  std::u16string text;
  for (int n = first; text.size() < units; ++n) {
    const std::string number = std::to_string(n);
    text += u"line " + std::u16string(number.begin(), number.end()) + u" " + std::u16string(50, u'.') + u"\n";
  }
  return text;
}

// The file's text as the edit shows it: each LF a CR LF.
std::wstring AsShown(const std::u16string& file) {
  std::wstring shown;
  for (char16_t unit : file) {
    if (unit == u'\n') shown += L'\r';
    shown += static_cast<wchar_t>(unit);
  }
  return shown;
}

constexpr size_t kKeptUnits = 1048576;        // at least this much history stays
constexpr size_t kMostShownUnits = 2 * kKeptUnits;
const std::wstring kNotice = L"（これより前の行はログファイルにあります）\r\n";

// What the edit shows after dropping lines: the notice, then whole lines
// that end the text written, at least the kept units of them.
void ExpectNoticeThenTailOf(const std::wstring& shown, const std::wstring& all) {
  ASSERT_TRUE(shown.starts_with(kNotice)) << Narrow(shown.substr(0, 60));
  const std::wstring kept = shown.substr(kNotice.size());
  EXPECT_GE(kept.size(), kKeptUnits);
  EXPECT_LE(shown.size(), kMostShownUnits);
  EXPECT_TRUE(kept.starts_with(L"line ")) << Narrow(kept.substr(0, 60));
  ASSERT_LE(kept.size(), all.size());
  EXPECT_TRUE(all.ends_with(kept)) << "the lines kept are not the last ones written";
  EXPECT_EQ(all[all.size() - kept.size() - 1], L'\n') << "the first line kept is not whole";
}

TEST_F(ExecutionLogTest, ALogBelowTheKeptSizeIsShownWholeThenLosesItsOldestLinesUnderANotice) {
  // Just under a million units, written at once: every line stays.
  const std::u16string first = NumberedLines(0, kKeptUnits - 200);
  Write(first);
  const std::wstring firstShown = AsShown(first);
  ASSERT_TRUE(PumpUntil([&] { return Shown().size() >= firstShown.size(); }, std::chrono::seconds(60)));
  ASSERT_EQ(Shown(), firstShown);

  // More than the edit may hold in all: the oldest lines go, the notice
  // takes their place.
  const std::u16string second = NumberedLines(1000000, kKeptUnits + 100000);
  Write(second);
  const std::wstring all = AsShown(first + second);
  const std::wstring lastLine = AsShown(second.substr(second.rfind(u'\n', second.size() - 2) + 1));
  ASSERT_TRUE(PumpUntil([&] { return Shown().ends_with(lastLine); }, std::chrono::seconds(60)));
  ExpectNoticeThenTailOf(Shown(), all);
}

TEST_F(ExecutionLogTest, ALongBacklogIsReadFromItsLastLinesUnderANotice) {
  const std::u16string burst = NumberedLines(0, 5 * kKeptUnits / 2);
  Write(burst);
  const std::wstring all = AsShown(burst);
  const std::wstring lastLine = AsShown(burst.substr(burst.rfind(u'\n', burst.size() - 2) + 1));
  ASSERT_TRUE(PumpUntil([&] { return Shown().ends_with(lastLine); }, std::chrono::seconds(60)));
  ExpectNoticeThenTailOf(Shown(), all);
}

}  // namespace
}  // namespace vnscope::test
