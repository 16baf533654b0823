// The variable list's find box, watch list and change highlights as a tester
// uses them: Ctrl+F and typing, the context menu and its commands, the watch
// file, the yellow rows and the tooltip over a value.
#include <windows.h>
#include <commctrl.h>

#include <filesystem>
#include <fstream>

#include "harness/popup_menu.h"
#include "resources/resource.h"
#include "variable_list_fixture.h"

namespace vnscope::test {
namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kChanged = RGB(255, 243, 176);  // the light yellow of a changed row

class VariableFindWatchTest : public VariableListTest {
 protected:
  void SetUp() override {
    VariableListTest::SetUp();
    findBox = GetDlgItem(dialog, IDC_VARIABLE_FIND);
  }

  void Command(int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    PumpMessages();
  }
  void FocusRow(int row) {
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(list, row, LVIS_FOCUSED, LVIS_FOCUSED);
  }
  std::vector<PopupItem> MenuOverRow(int row) {
    RECT label{};
    ListView_GetItemRect(list, row, &label, LVIR_LABEL);
    return ReadPopupMenu([&] { RightClickAt(list, (label.left + label.right) / 2, (label.top + label.bottom) / 2); });
  }
  // What the variable list (the dialog or a control in it) sent the engine.
  size_t CopiesFromTheList() const {
    size_t count = 0;
    for (const ReceivedCopy& copy : engine.copies()) count += copy.sender == dialog || IsChild(dialog, copy.sender);
    return count;
  }
  bool Shown(HWND window) const { return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }
  // Esc as the engine's message loop delivers it: the key, then its character.
  void TypeEscape(HWND window) {
    PressKey(window, VK_ESCAPE);
    TypeText(window, L"\x1b");
  }

  static std::string FileText(const std::wstring& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
  }
  static void WriteFileText(const std::wstring& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
  }

  // The colours on screen across a row: left of its name (where a state
  // image would be), and at the empty right end of each cell.
  std::vector<COLORREF> RowColours(int row) {
    UpdateWindow(list);
    RECT label{}, value{}, reg{};
    ListView_GetItemRect(list, row, &label, LVIR_LABEL);
    ListView_GetSubItemRect(list, row, 1, LVIR_BOUNDS, &value);
    ListView_GetSubItemRect(list, row, 2, LVIR_BOUNDS, &reg);
    const int middle = (label.top + label.bottom) / 2;
    HDC dc = GetDC(list);
    std::vector<COLORREF> colours;
    for (int x : {label.left - 4, label.right - 4, value.right - 4, reg.right - 4}) colours.push_back(GetPixel(dc, x, middle));
    ReleaseDC(list, dc);
    return colours;
  }

  HWND findBox = nullptr;
};

TEST_F(VariableFindWatchTest, ContextMenuItemsFollowTheRowUnderThePointer) {
  Add({L"#g.a", L"#g.b", L"#v"});
  Commit();
  // Over a group row: nothing to watch or unwatch.
  const std::vector<PopupItem> onGroup = {{40101, L"検索\tCtrl+F", true},
                                          {40102, L"ウォッチに追加", false},
                                          {40103, L"ウォッチから外す", false},
                                          {40104, L"変更の強調を消す", true}};
  const std::vector<PopupItem> onPlain = {{40101, L"検索\tCtrl+F", true},
                                          {40102, L"ウォッチに追加", true},
                                          {40103, L"ウォッチから外す", false},
                                          {40104, L"変更の強調を消す", true}};
  std::vector<PopupItem> onWatched = onPlain;
  onWatched[2].enabled = true;
  auto expectMenu = [&](int row, const std::vector<PopupItem>& expected) {
    SCOPED_TRACE(row);
    const std::vector<PopupItem> menu = MenuOverRow(row);
    ASSERT_EQ(menu.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(menu[i].id, expected[i].id) << i;
      EXPECT_EQ(menu[i].caption, expected[i].caption) << i;
      EXPECT_EQ(menu[i].enabled, expected[i].enabled) << i;
    }
    EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_FOCUSED), row) << "the right click focuses the row";
  };
  expectMenu(0, onGroup);
  expectMenu(1, onPlain);
  EXPECT_EQ(CopiesFromTheList(), 0u) << "closing the menu sends nothing";

  // 40102 on the focused #v: the watch group comes first, expanded, and #v
  // keeps its place below; the focus follows #v there.
  Command(VN_ADD_WATCH);
  EXPECT_EQ(NameColumn(), (std::vector<std::wstring>{L"ウォッチ", L"#v", L"#g", L"#v"}));
  EXPECT_EQ(StateImage(0), 2);
  EXPECT_EQ(StateImage(1), 4);
  EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_FOCUSED), 3);
  expectMenu(1, onWatched);
  expectMenu(3, onWatched);
  expectMenu(0, onGroup);

  FocusRow(1);
  Command(VN_REMOVE_WATCH);
  EXPECT_EQ(NameColumn(), (std::vector<std::wstring>{L"#g", L"#v"}));
  EXPECT_EQ(CopiesFromTheList(), 0u) << "watching is the monitor's own business";
}

TEST_F(VariableFindWatchTest, TheWatchFileIsWrittenOnEveryChangeAndReadAtTheNextCommit) {
  Add({L"#a", L"#ゲーム.旗", L"@b"});
  Commit();
  DoubleClickCell(1, 0);  // expand #ゲーム
  FocusRow(2);
  Command(VN_ADD_WATCH);
  FocusRow(5);  // @b, below the two rows of the watch group
  Command(VN_ADD_WATCH);
  // UTF-8, one full name a line.
  EXPECT_EQ(FileText(WatchFilePath()), "#\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.\xE6\x97\x97\r\n@b\r\n");
  EXPECT_EQ(NameColumn(), (std::vector<std::wstring>{L"ウォッチ", L"#ゲーム.旗", L"@b", L"#a", L"#ゲーム", L"  旗", L"@b"}));

  // A file of another run: names this table lacks are kept but not shown.
  WriteFileText(WatchFilePath(), "#gone\n@b\n#a\n");
  Add({L"#a", L"@b"});
  Commit();
  EXPECT_EQ(NameColumn(), (std::vector<std::wstring>{L"ウォッチ", L"@b", L"#a", L"#a", L"@b"}));
  FocusRow(1);
  Command(VN_REMOVE_WATCH);
  EXPECT_EQ(FileText(WatchFilePath()), "#gone\r\n#a\r\n");
  EXPECT_EQ(NameColumn(), (std::vector<std::wstring>{L"ウォッチ", L"#a", L"#a", L"@b"}));
}

TEST_F(VariableFindWatchTest, CtrlFFiltersAsYouTypeAndEscRestoresTheRowsAsTheyWere) {
  Add({L"#flag.a", L"#flag.b", L"#turn", L"#Map.flagX"});
  Commit();
  DoubleClickCell(2, 0);  // expand #Map
  const std::vector<std::wstring> before = {L"#flag", L"#turn", L"#Map", L"  flagX"};
  ASSERT_EQ(NameColumn(), before);
  RECT client{};
  GetClientRect(dialog, &client);

  PressChord(list, {VK_CONTROL}, 'F');
  ASSERT_TRUE(Shown(findBox));
  EXPECT_EQ(GetFocus(), findBox);
  const RECT box = ChildRectInParent(findBox);
  const RECT below = ChildRectInParent(list);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.top, 0);
  EXPECT_EQ(box.right, client.right);
  EXPECT_GT(box.bottom, 10) << "one line of text";
  EXPECT_EQ(below.top, box.bottom);
  EXPECT_EQ(below.bottom, client.bottom);
  EXPECT_EQ(NameColumn(), before) << "an empty box filters nothing";

  struct Step {
    const wchar_t* typed;
    std::vector<std::wstring> names;
  };
  const Step steps[] = {
      {L"F", {L"#flag", L"  a", L"  b", L"#Map", L"  flagX"}},
      {L"LAG.", {L"#flag", L"  a", L"  b"}},
      {L"B", {L"#flag", L"  b"}},
      {L"!", {}},
  };
  for (const Step& step : steps) {
    TypeText(findBox, step.typed);
    EXPECT_EQ(NameColumn(), step.names) << Narrow(WindowText(findBox));
  }
  EXPECT_EQ(StateImage(0), 0) << "nothing left";

  TypeEscape(findBox);
  EXPECT_FALSE(Shown(findBox));
  EXPECT_EQ(WindowText(findBox), L"");
  EXPECT_EQ(ChildRectInParent(list).top, 0);
  EXPECT_EQ(ChildRectInParent(list).bottom, client.bottom);
  EXPECT_EQ(NameColumn(), before);
  EXPECT_EQ(StateImage(0), 1);
  EXPECT_EQ(StateImage(2), 2);

  // 40101 opens it too; emptying it closes it.
  Command(VN_FIND_VARIABLE);
  ASSERT_TRUE(Shown(findBox));
  TypeText(findBox, L"u");
  EXPECT_EQ(NameColumn(), (std::vector<std::wstring>{L"#turn"}));
  TypeText(findBox, L"\b");
  EXPECT_FALSE(Shown(findBox));
  EXPECT_EQ(NameColumn(), before);
}

TEST_F(VariableFindWatchTest, AFilterKeepsTheWatchGroupAppliesToANewTableAndRowsStayEditable) {
  Add({L"#x.one", L"#x.two", L"#y"});
  Commit();
  FocusRow(1);
  Command(VN_ADD_WATCH);  // #y
  Command(VN_FIND_VARIABLE);
  TypeText(findBox, L"two");
  EXPECT_EQ(NameColumn(), (std::vector<std::wstring>{L"ウォッチ", L"#y", L"#x", L"  two"}));

  // The in-place editor on a filtered row.
  DoubleClickCell(3, 1);
  ASSERT_TRUE(EditorShown());
  engine.ClearReceived();
  TypeText(editor, L"12");
  PressKey(editor, VK_RETURN);
  EXPECT_EQ(Row(3)[1], L"12");
  const auto sent = engine.CopiesWithCommand(3);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].TextAt(0), L"12");
  EXPECT_EQ(sent[0].TextAt(256), L"#x.two");

  // A new table is filtered by the text in the box.
  Add({L"#two", L"#y", L"#z.two"});
  Commit();
  EXPECT_TRUE(Shown(findBox));
  EXPECT_EQ(NameColumn(), (std::vector<std::wstring>{L"ウォッチ", L"#y", L"#two", L"#z", L"  two"}));
  TypeEscape(findBox);
  EXPECT_EQ(NameColumn(), (std::vector<std::wstring>{L"ウォッチ", L"#y", L"#two", L"#y", L"#z"}));
}

TEST_F(VariableFindWatchTest, EngineChangesShowOnAYellowRowUntilClearedOrFiveSecondsPass) {
  Add({L"#a", L"#b", L"#c"});
  Commit();
  ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  const std::vector<COLORREF> white(4, kWhite);
  const std::vector<COLORREF> yellow(4, kChanged);
  ASSERT_EQ(RowColours(0), white);
  SetValue(0, L"1");
  SetValue(1, L"0");  // the value it had: no change
  DoubleClickCell(2, 1);
  TypeText(editor, L"9");
  PressKey(editor, VK_RETURN);  // typed by the tester: no highlight
  ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  EXPECT_EQ(RowColours(0), yellow);
  EXPECT_EQ(RowColours(1), white);
  EXPECT_EQ(RowColours(2), white);
  Command(VN_CLEAR_CHANGES);
  EXPECT_EQ(RowColours(0), white);

  const DWORD changed = GetTickCount();
  SetValue(2, L"3");
  EXPECT_EQ(RowColours(2), yellow);
  ASSERT_TRUE(PumpUntil([&] { return RowColours(2) == white; }, std::chrono::seconds(8)));
  EXPECT_GE(GetTickCount() - changed, 4900u) << "yellow for five seconds";
}

// The tooltip window a dialog owns, while it shows.
struct TooltipSearch {
  HWND owner;
  HWND found;
};

BOOL CALLBACK MatchShownTooltip(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<TooltipSearch*>(context);
  if (_wcsicmp(ClassOf(window).c_str(), TOOLTIPS_CLASSW) != 0 || GetWindow(window, GW_OWNER) != search->owner) {
    return TRUE;
  }
  if (!IsWindowVisible(window)) return TRUE;
  search->found = window;
  return FALSE;
}

HWND ShownTooltipOf(HWND dialog) {
  TooltipSearch search{dialog, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), MatchShownTooltip, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

uint32_t TimeOfDayNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return ((now.wHour * 60u + now.wMinute) * 60u + now.wSecond) * 1000u + now.wMilliseconds;
}

TEST_F(VariableFindWatchTest, HoveringAValueShowsItsLastValuesWithTheirTimes) {
  Add({L"#a", L"#b"});
  Commit();
  const uint32_t start = TimeOfDayNow();
  for (const wchar_t* value : {L"1", L"22", L"-3"}) SetValue(1, value);
  const uint32_t last = TimeOfDayNow();
  RECT cell{};
  ListView_GetSubItemRect(list, 1, 1, LVIR_BOUNDS, &cell);
  POINT point{(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
  POINT screen = point;
  ClientToScreen(list, &screen);
  SetCursorPos(screen.x, screen.y);
  SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(point.x, point.y));
  HWND tip = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (tip = ShownTooltipOf(dialog)) != nullptr; }));
  // Lines "HH:MM:SS.mmm  value", newest first.
  const std::wstring text = WindowText(tip);
  std::vector<std::wstring> values;
  size_t at = 0;
  while (at < text.size()) {
    const size_t lineEnd = std::min(text.find(L"\r\n", at), text.size());
    const std::wstring line = text.substr(at, lineEnd - at);
    ASSERT_GE(line.size(), 15u) << Narrow(text);
    EXPECT_EQ(line.substr(12, 2), L"  ");
    const uint32_t arrived = ((std::stoul(line.substr(0, 2)) * 60 + std::stoul(line.substr(3, 2))) * 60 +
                              std::stoul(line.substr(6, 2))) * 1000 + std::stoul(line.substr(9, 3));
    EXPECT_GE(arrived, start);
    EXPECT_LE(arrived, last);
    values.push_back(line.substr(14));
    at = lineEnd + 2;
  }
  EXPECT_EQ(values, (std::vector<std::wstring>{L"-3", L"22", L"1"}));
}

}  // namespace
}  // namespace vnscope::test
