// The other-information panel: what the engine sets, what each click and
// Enter send back, the two messages at start and the row layout.
#include "harness/harness.h"
#include "resources/resource.h"

namespace vnscope::test {
namespace {

class OtherInfoPanelTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_TRUE(monitors.created());
    panel = monitors.set().otherInfo;
    combo = GetDlgItem(panel, IDC_JUMP_LABEL);
    comboEdit = FindWindowExW(combo, nullptr, L"Edit", nullptr);
    ASSERT_NE(comboEdit, nullptr);
  }
  void Text(ULONG_PTR command, const std::wstring& text) { SendHostText(panel, command, text, engine.window()); }
  void Click(int id) { ClickCentre(GetDlgItem(panel, id)); }
  std::wstring ListItem(int index) {
    wchar_t item[256] = {};
    SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(item));
    return item;
  }

  ScopedMonitors monitors{engine.window(), 24};
  HWND panel = nullptr;
  HWND combo = nullptr;
  HWND comboEdit = nullptr;
};

TEST_F(OtherInfoPanelTest, ImageErrorsAndFpsAreAnnouncedOnAtStart) {
  ASSERT_EQ(engine.copies().size(), 2u);
  const ULONG_PTR expected[] = {VN_SHOW_IMAGE_ERRORS, VN_SHOW_FPS_IN_TITLE};
  for (size_t i = 0; i < 2; ++i) {
    const ReceivedCopy& copy = engine.copies()[i];
    EXPECT_EQ(copy.command, expected[i]);
    EXPECT_EQ(copy.sender, panel);
    EXPECT_EQ(copy.record, std::vector<uint8_t>{1});
  }
  EXPECT_EQ(IsDlgButtonChecked(panel, IDC_OBJECT_LIST_TEXT), BST_UNCHECKED);
}

TEST_F(OtherInfoPanelTest, EachClickSendsItsCommand) {
  engine.ClearReceived();
  Click(IDC_OBJECT_LIST_TEXT);
  Click(IDC_OBJECT_LIST_TEXT);
  Click(IDC_IMAGE_ERRORS);  // on from the start: now off
  Click(IDC_SHOW_FPS);
  Click(IDC_GALLERY_OPEN);
  Click(IDC_FORCE_EXIT_SCENE);
  Click(IDC_CHECK_TEXT_LENGTH);
  Click(IDC_CHECK_ASSETS);
  const struct {
    ULONG_PTR command;
    std::vector<uint8_t> record;
  } expected[] = {{VN_OBJECT_LIST_TO_TEXT, {1}}, {VN_OBJECT_LIST_TO_TEXT, {0}}, {VN_SHOW_IMAGE_ERRORS, {0}},
                  {VN_SHOW_FPS_IN_TITLE, {0}},   {VN_GALLERY_FULL_OPEN, {}},    {VN_FORCE_EXIT_SCENE, {}},
                  {VN_CHECK_TEXT_LENGTH, {}},    {VN_CHECK_ASSETS, {}}};
  ASSERT_EQ(engine.copies().size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const ReceivedCopy& copy = engine.copies()[i];
    EXPECT_EQ(copy.command, expected[i].command) << i;
    EXPECT_EQ(copy.record, expected[i].record) << i;
    EXPECT_EQ(copy.hadRecord, !expected[i].record.empty()) << i;
    EXPECT_EQ(copy.sender, panel);
  }
}

TEST_F(OtherInfoPanelTest, NotificationsOtherThanClicksSendNothing) {
  engine.ClearReceived();
  SendMessageW(panel, WM_COMMAND, MAKEWPARAM(IDC_OBJECT_LIST_TEXT, BN_SETFOCUS), 0);
  SendMessageW(panel, WM_COMMAND, MAKEWPARAM(IDC_JUMP_LABEL, CBN_SELCHANGE), 0);
  SendMessageW(panel, WM_COMMAND, MAKEWPARAM(IDC_JUMP_LABEL, CBN_EDITCHANGE), 0);
  EXPECT_TRUE(engine.copies().empty());
}

TEST_F(OtherInfoPanelTest, JumpWithAnEmptyComboSendsAnEmptyBlock) {
  engine.ClearReceived();
  Click(IDC_JUMP);
  const auto jumps = engine.CopiesWithCommand(VN_JUMP_TO_LABEL);
  ASSERT_EQ(jumps.size(), 1u);
  EXPECT_EQ(jumps[0].byteCount, 512u);
  EXPECT_EQ(jumps[0].TextAt(), L"");
  EXPECT_EQ(jumps[0].sender, panel);
}

TEST_F(OtherInfoPanelTest, EnterInTheComboEditJumpsAndGivesTheEngineTheFocus) {
  Text(VN_SET_JUMP_LABEL, L"*scene02");
  SetFocus(comboEdit);
  engine.ClearReceived();
  PressKey(comboEdit, VK_RETURN);
  const auto jumps = engine.CopiesWithCommand(VN_JUMP_TO_LABEL);
  ASSERT_EQ(jumps.size(), 1u);
  EXPECT_EQ(jumps[0].byteCount, 512u);
  EXPECT_EQ(jumps[0].TextAt(), L"*scene02");
  EXPECT_EQ(jumps[0].sender, panel);
  EXPECT_EQ(GetFocus(), engine.window());
  // The subclass keeps its bookkeeping on the edit field itself.
  EXPECT_NE(GetPropW(comboEdit, L"Wprc"), nullptr);
  EXPECT_EQ(GetPropW(comboEdit, L"parent"), panel);
}

TEST_F(OtherInfoPanelTest, LongLabelsAreCutTo255Units) {
  Text(VN_SET_JUMP_LABEL, std::wstring(300, L'L'));
  engine.ClearReceived();
  Click(IDC_JUMP);
  const auto jumps = engine.CopiesWithCommand(VN_JUMP_TO_LABEL);
  ASSERT_EQ(jumps.size(), 1u);
  EXPECT_EQ(jumps[0].TextAt(), std::wstring(255, L'L'));
}

TEST_F(OtherInfoPanelTest, LabelsAreSortedAndSettingTheLabelLeavesTheList) {
  Text(VN_ADD_JUMP_LABEL, L"b");
  Text(VN_ADD_JUMP_LABEL, L"a");
  Text(VN_ADD_JUMP_LABEL, L"b");
  Text(VN_SET_JUMP_LABEL, L"c");
  ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(ListItem(0), L"a");
  EXPECT_EQ(ListItem(1), L"b");
  EXPECT_EQ(ListItem(2), L"b");
  EXPECT_EQ(WindowText(combo), L"c");
}

TEST_F(OtherInfoPanelTest, SoundFieldsShowWhatTheEngineSets) {
  Text(VN_SET_VOICE, L"v_chihaya_0012");
  Text(VN_SET_BGS, L"bgs_rain");
  Text(VN_SET_BGV, L"bgv_crowd");
  EXPECT_EQ(ControlText(panel, IDC_VOICE), L"v_chihaya_0012");
  EXPECT_EQ(ControlText(panel, IDC_BGS), L"bgs_rain");
  EXPECT_EQ(ControlText(panel, IDC_BGV), L"bgv_crowd");
  Text(VN_SET_VOICE, L"");
  EXPECT_EQ(ControlText(panel, IDC_VOICE), L"");
  SendHostMessage(panel, VN_SET_BGS, nullptr, 0, engine.window());  // no text: ignored
  EXPECT_EQ(ControlText(panel, IDC_BGS), L"bgs_rain");
}

TEST_F(OtherInfoPanelTest, RowsFollowTheWidthInQuarters) {
  // 240 and 243 both give quarters of 60.
  for (int width : {240, 243}) {
    SendMessageW(panel, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, 160));
    const struct {
      int id, x, y, w, h;
    } expected[] = {
        {IDC_JUMP_LABEL, 0, 0, width - 60, 20},   {IDC_JUMP, width - 60, 1, 60, 18},
        {IDC_VOICE, 80, 20, width - 80, 20},      {IDC_BGV_LABEL, 0, 60, 80, 20},
        {IDC_OBJECT_LIST_TEXT, 0, 80, 60, 20},    {IDC_IMAGE_ERRORS, 60, 80, 60, 20},
        {IDC_SHOW_FPS, 120, 80, 60, 20},          {IDC_GALLERY_OPEN, 180, 80, 60, 20},
        {IDC_FORCE_EXIT_SCENE, 0, 100, 120, 20},  {IDC_CHECK_ASSETS, 180, 100, 60, 20},
    };
    for (const auto& e : expected) {
      const RECT r = ChildRectInParent(GetDlgItem(panel, e.id));
      EXPECT_EQ(r.left, e.x) << e.id << " at " << width;
      EXPECT_EQ(r.top, e.y) << e.id << " at " << width;
      EXPECT_EQ(r.right - r.left, e.w) << e.id << " at " << width;
      // A drop-down combo box keeps its own height for the edit part.
      if (e.id != IDC_JUMP_LABEL) {
        EXPECT_EQ(r.bottom - r.top, e.h) << e.id << " at " << width;
      }
    }
  }
}

}  // namespace
}  // namespace vnscope::test
