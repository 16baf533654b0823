// CreateMonitors and DestroyMonitors: version and null checks, the size
// thresholds, and the kind of window every monitor is.
#include <cstring>

#include "harness/harness.h"

namespace vnscope::test {
namespace {

HWND const kSentinel = reinterpret_cast<HWND>(0x1234);

MonitorSet SentinelSet(uint32_t size) {
  return MonitorSet{size, kSentinel, kSentinel, kSentinel, kSentinel, kSentinel, kSentinel};
}

using CreateMonitorsTest = EngineTest;

TEST_F(CreateMonitorsTest, WrongVersionOrNullRecordCreatesNothing) {
  for (int32_t version : {1, 3, 0, -2}) {
    MonitorSet set = SentinelSet(24);
    const MonitorSet before = set;
    EXPECT_FALSE(dll.CreateMonitors(version, engine.window(), &set)) << version;
    EXPECT_EQ(std::memcmp(&set, &before, sizeof(set)), 0) << "record touched for version " << version;
  }
  EXPECT_FALSE(dll.CreateMonitors(2, engine.window(), nullptr));
  EXPECT_EQ(FindThreadWindow(L"変数一覧"), nullptr);
}

struct ThresholdCase {
  uint32_t size;
  int windows;  // how many slots, in slot order, hold a window
};

TEST_F(CreateMonitorsTest, SizeSelectsTheWindows) {
  const ThresholdCase cases[] = {{0, 0}, {12, 0}, {15, 0}, {16, 4}, {19, 4},
                                 {20, 5}, {23, 5}, {24, 6}, {100, 6}};
  for (const ThresholdCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "size " << c.size);
    // Every slot is cleared, whatever the size selects.
    MonitorSet set = SentinelSet(c.size);
    ASSERT_TRUE(dll.CreateMonitors(2, engine.window(), &set));
    EXPECT_EQ(set.size, c.size);
    HWND slots[] = {set.variableList, set.objectList, set.otherInfo,
                    set.executionLog, set.preview,    set.database};
    for (int i = 0; i < 6; ++i) {
      if (i < c.windows) {
        EXPECT_TRUE(IsWindow(slots[i])) << "slot " << i;
      } else {
        EXPECT_EQ(slots[i], nullptr) << "slot " << i;
      }
    }
    dll.DestroyMonitors(&set);
    for (HWND slot : slots) {
      if (slot) {
        EXPECT_FALSE(IsWindow(slot));
      }
    }
  }
}

struct MonitorKind {
  HWND MonitorSet::*slot;
  const wchar_t* caption;
  bool sizable;
};

TEST_F(CreateMonitorsTest, MonitorsAreHiddenOwnedToolWindows) {
  const MonitorKind kinds[] = {
      {&MonitorSet::variableList, L"変数一覧", true},
      {&MonitorSet::objectList, L"オブジェクト一覧", true},
      {&MonitorSet::otherInfo, L"その他情報", true},
      {&MonitorSet::executionLog, L"実行ログ", true},
      {&MonitorSet::preview, L"Preview", false},
      {&MonitorSet::database, L"DB", true},
  };
  ScopedMonitors monitors(engine.window(), 24);
  ASSERT_TRUE(monitors.created());
  for (const MonitorKind& kind : kinds) {
    HWND window = monitors.set().*kind.slot;
    SCOPED_TRACE(Narrow(kind.caption));
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(WindowText(window), kind.caption);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(GetWindow(window, GW_OWNER), engine.window());
    EXPECT_EQ(GetParent(window), engine.window());
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    const LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & WS_CHILD);
    EXPECT_EQ((style & WS_CAPTION), WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_CLIPCHILDREN);
    EXPECT_TRUE(style & WS_CLIPSIBLINGS);
    EXPECT_EQ((style & WS_THICKFRAME) != 0, kind.sizable);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_EQ((exStyle & WS_EX_STATICEDGE) != 0, !kind.sizable);
  }
}

TEST_F(CreateMonitorsTest, DestroyMonitorsSkipsNullAndUnselectedSlots) {
  dll.DestroyMonitors(nullptr);  // nothing to do, must not crash

  MonitorSet empty{24, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  dll.DestroyMonitors(&empty);
  EXPECT_TRUE(IsWindow(engine.window()));

  // A window in a slot that the size does not select is left alone.
  FakeEngine bystander(0, 0, 100, 100);
  MonitorSet small{12, bystander.window(), nullptr, nullptr, nullptr, nullptr, nullptr};
  dll.DestroyMonitors(&small);
  EXPECT_TRUE(IsWindow(bystander.window()));
  MonitorSet four{16, nullptr, nullptr, nullptr, nullptr, bystander.window(), bystander.window()};
  dll.DestroyMonitors(&four);
  EXPECT_TRUE(IsWindow(bystander.window()));
}

TEST_F(CreateMonitorsTest, CreateAgainAfterDestroyWorks) {
  for (int round = 0; round < 2; ++round) {
    ScopedMonitors monitors(engine.window(), 24);
    ASSERT_TRUE(monitors.created());
    EXPECT_EQ(monitors.Windows().size(), 6u);
  }
}

}  // namespace
}  // namespace vnscope::test
