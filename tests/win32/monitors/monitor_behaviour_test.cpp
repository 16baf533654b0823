// What every monitor window does alike: unknown commands, closing, mouse
// forwarding, initial placement and resize layouts.
#include "harness/harness.h"
#include "resources/resource.h"

namespace vnscope::test {
namespace {

class MonitorBehaviourTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_TRUE(monitors.created());
    ASSERT_EQ(monitors.Windows().size(), 6u);
  }
  ScopedMonitors monitors{engine.window(), 24};
};

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Describe(const RECT& r) {
  return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ")-(" + std::to_string(r.right) +
         ", " + std::to_string(r.bottom) + ")";
}

TEST_F(MonitorBehaviourTest, UnknownCommandReturnsZeroAndChangesNothing) {
  const uint32_t record[4] = {1, 2, 3, 4};
  const size_t receivedBefore = engine.copies().size();
  for (HWND window : monitors.Windows()) {
    const std::wstring caption = WindowText(window);
    const RECT before = WindowRectOf(window);
    EXPECT_EQ(SendHostMessage(window, 77, record, sizeof(record), engine.window()), 0);
    EXPECT_EQ(SendHostMessage(window, 0xFFFFFFFF, nullptr, 0, engine.window()), 0);
    EXPECT_EQ(WindowText(window), caption);
    EXPECT_TRUE(SameRect(WindowRectOf(window), before));
    EXPECT_FALSE(IsWindowVisible(window));
  }
  // Nothing is answered back to the engine either.
  EXPECT_EQ(engine.copies().size(), receivedBefore);
}

TEST_F(MonitorBehaviourTest, CloseButtonHidesAndShowingAgainKeepsTheWindow) {
  for (HWND window : monitors.Windows()) {
    SCOPED_TRACE(Narrow(WindowText(window)));
    ShowWindow(window, SW_SHOW);
    PumpMessages();
    ASSERT_TRUE(IsWindowVisible(window));
    // The caption's close button arrives as SC_CLOSE, which becomes WM_CLOSE.
    SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    PumpMessages();
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(GetFocus(), engine.window());
    const std::wstring caption = WindowText(window);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    PumpMessages();
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(WindowText(window), caption);
    ShowWindow(window, SW_HIDE);
  }
}

TEST_F(MonitorBehaviourTest, MouseMovesArePostedToTheEngineUnchanged) {
  for (HWND window : monitors.Windows()) {
    engine.ClearReceived();
    SendMessageW(window, WM_MOUSEMOVE, MK_SHIFT, MAKELPARAM(12, 34));
    SendMessageW(window, WM_NCMOUSEMOVE, HTCAPTION, MAKELPARAM(700, 60));
    // Posted, not sent: nothing has arrived before the engine pumps.
    EXPECT_TRUE(engine.mouseMoves().empty());
    PumpMessages();
    ASSERT_EQ(engine.mouseMoves().size(), 2u) << Narrow(WindowText(window));
    EXPECT_EQ(engine.mouseMoves()[0].message, static_cast<UINT>(WM_MOUSEMOVE));
    EXPECT_EQ(engine.mouseMoves()[0].wparam, static_cast<WPARAM>(MK_SHIFT));
    EXPECT_EQ(engine.mouseMoves()[0].lparam, MAKELPARAM(12, 34));
    EXPECT_EQ(engine.mouseMoves()[1].message, static_cast<UINT>(WM_NCMOUSEMOVE));
    EXPECT_EQ(engine.mouseMoves()[1].wparam, static_cast<WPARAM>(HTCAPTION));
    EXPECT_EQ(engine.mouseMoves()[1].lparam, MAKELPARAM(700, 60));
  }
}

// A real pointer moved over a shown monitor: the engine gets the position in
// the monitor's client coordinates.
TEST_F(MonitorBehaviourTest, RealPointerOverMonitorReachesEngineInMonitorCoordinates) {
  HWND preview = monitors.set().preview;
  SetWindowPos(preview, HWND_TOPMOST, 300, 600, 200, 150, SWP_SHOWWINDOW | SWP_NOACTIVATE);
  PumpMessages(std::chrono::milliseconds(100));
  engine.ClearReceived();
  POINT client{40, 30};
  POINT screen = client;
  ClientToScreen(preview, &screen);
  SetCursorPos(screen.x, screen.y);
  const bool arrived = PumpUntil([&] {
    for (const auto& move : engine.mouseMoves()) {
      if (move.message == WM_MOUSEMOVE && move.lparam == MAKELPARAM(client.x, client.y)) return true;
    }
    return false;
  });
  EXPECT_TRUE(arrived) << "moves received: " << engine.mouseMoves().size();
  ShowWindow(preview, SW_HIDE);
}

TEST_F(MonitorBehaviourTest, VariableAndObjectListsStartBesideTheEngine) {
  ASSERT_TRUE(SameRect(WindowRectOf(engine.window()), RECT{100, 50, 740, 530}));
  const RECT variables = WindowRectOf(monitors.set().variableList);
  const RECT objects = WindowRectOf(monitors.set().objectList);
  EXPECT_TRUE(SameRect(variables, RECT{740, 50, 990, 530})) << Describe(variables);
  EXPECT_TRUE(SameRect(objects, RECT{740, 50, 1090, 530})) << Describe(objects);
}

TEST_F(MonitorBehaviourTest, PanelLogAndDatabaseStartAtTheirPlaces) {
  RECT client{};
  GetClientRect(engine.window(), &client);
  const RECT panel = WindowRectOf(monitors.set().otherInfo);
  EXPECT_TRUE(SameRect(panel, RECT{0, -160, client.right, 0})) << Describe(panel);
  const RECT log = WindowRectOf(monitors.set().executionLog);
  EXPECT_TRUE(SameRect(log, RECT{0, client.bottom, client.right, client.bottom + 200})) << Describe(log);
  RECT work{};
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
  const RECT database = WindowRectOf(monitors.set().database);
  EXPECT_TRUE(SameRect(database, RECT{work.left, work.top, work.left + 320, work.bottom})) << Describe(database);
}

TEST_F(MonitorBehaviourTest, MainControlFillsTheClientAreaOnResize) {
  struct Fill {
    HWND window;
    int control;
  } fills[] = {{monitors.set().variableList, IDC_VARIABLE_LIST},
               {monitors.set().objectList, IDC_OBJECT_LIST},
               {monitors.set().executionLog, IDC_LOG_TEXT}};
  for (const Fill& fill : fills) {
    SetWindowPos(fill.window, nullptr, 0, 0, 413, 287, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    GetClientRect(fill.window, &client);
    const RECT control = ChildRectInParent(GetDlgItem(fill.window, fill.control));
    EXPECT_TRUE(SameRect(control, client)) << Narrow(WindowText(fill.window)) << " " << Describe(control);
  }
  // The hidden value editor of the variable list keeps its template place.
  HWND editor = GetDlgItem(monitors.set().variableList, IDC_VALUE_EDITOR);
  ASSERT_NE(editor, nullptr);
  EXPECT_FALSE(IsWindowVisible(editor));
}

TEST_F(MonitorBehaviourTest, DatabaseSelectorOnTopAndGridBelow) {
  HWND database = monitors.set().database;
  SendMessageW(database, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 400));
  const RECT selector = ChildRectInParent(GetDlgItem(database, IDC_TABLE_SELECTOR));
  const RECT grid = ChildRectInParent(GetDlgItem(database, IDC_TABLE_GRID));
  // A drop-down combo box reports only its edit part's height.
  EXPECT_EQ(selector.left, 0);
  EXPECT_EQ(selector.top, 0);
  EXPECT_EQ(selector.right, 300);
  EXPECT_TRUE(SameRect(grid, RECT{0, 20, 300, 400})) << Describe(grid);
}

struct PanelLayoutCase {
  int clientWidth;
  int quarter;
};

TEST_F(MonitorBehaviourTest, PanelLaysOutRowsByQuarters) {
  HWND panel = monitors.set().otherInfo;
  for (const PanelLayoutCase& c : {PanelLayoutCase{240, 60}, PanelLayoutCase{243, 60}, PanelLayoutCase{400, 100}}) {
    SCOPED_TRACE(c.clientWidth);
    SendMessageW(panel, WM_SIZE, SIZE_RESTORED, MAKELPARAM(c.clientWidth, 160));
    auto at = [&](int id) { return ChildRectInParent(GetDlgItem(panel, id)); };
    const int w = c.clientWidth, q = c.quarter;
    EXPECT_TRUE(SameRect(at(IDC_JUMP), RECT{w - 60, 1, w, 19}));
    EXPECT_EQ(at(IDC_JUMP_LABEL).right, w - 60);
    EXPECT_TRUE(SameRect(at(IDC_VOICE_LABEL), RECT{0, 20, 80, 40}));
    EXPECT_TRUE(SameRect(at(IDC_VOICE), RECT{80, 20, w, 40}));
    EXPECT_TRUE(SameRect(at(IDC_BGS), RECT{80, 40, w, 60}));
    EXPECT_TRUE(SameRect(at(IDC_BGV_LABEL), RECT{0, 60, 80, 80}));
    EXPECT_TRUE(SameRect(at(IDC_OBJECT_LIST_TEXT), RECT{0, 80, q, 100}));
    EXPECT_TRUE(SameRect(at(IDC_IMAGE_ERRORS), RECT{q, 80, 2 * q, 100}));
    EXPECT_TRUE(SameRect(at(IDC_SHOW_FPS), RECT{2 * q, 80, 3 * q, 100}));
    EXPECT_TRUE(SameRect(at(IDC_GALLERY_OPEN), RECT{3 * q, 80, 4 * q, 100}));
    EXPECT_TRUE(SameRect(at(IDC_FORCE_EXIT_SCENE), RECT{0, 100, 2 * q, 120}));
    EXPECT_TRUE(SameRect(at(IDC_CHECK_TEXT_LENGTH), RECT{2 * q, 100, 3 * q, 120}));
    EXPECT_TRUE(SameRect(at(IDC_CHECK_ASSETS), RECT{3 * q, 100, 4 * q, 120}));
  }
}

}  // namespace
}  // namespace vnscope::test
