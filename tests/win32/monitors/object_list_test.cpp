// The object list as the engine fills it and the tester reads it: rows and
// cells, the columns the report relies on, the right-click clipboard line and
// the mouse moves passed on from the list.
#include <windows.h>
#include <commctrl.h>

#include "harness/clipboard_reader.h"
#include "harness/harness.h"
#include "resources/resource.h"

namespace vnscope::test {
namespace {

class ObjectListTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_TRUE(monitors.created());
    dialog = monitors.set().objectList;
    list = GetDlgItem(dialog, IDC_OBJECT_LIST);
    ASSERT_NE(list, nullptr);
  }

  void Add(int32_t number, const wchar_t* name, int32_t type, uint8_t state) {
    ObjectEntry entry{number, name, type, state};
    SendHostMessage(dialog, VN_ADD_OBJECT, &entry, 16, engine.window());
  }
  void AddAt(int32_t number, const wchar_t* name, int32_t x, int32_t y) {
    ObjectEntry entry{number, name, 1, 0, {}, x, y};
    SendHostMessage(dialog, VN_ADD_OBJECT, &entry, 24, engine.window());
  }
  void Clear() { SendHostMessage(dialog, VN_CLEAR_OBJECTS, nullptr, 0, engine.window()); }
  std::vector<std::wstring> Row(int row) {
    std::vector<std::wstring> cells;
    for (int column = 0; column < 6; ++column) cells.push_back(ListViewCell(list, row, column));
    return cells;
  }
  std::string CopyByRightClick() {
    EmptyTheClipboard();
    RightClickAt(list, 10, 30);
    return ClipboardAnsiText();
  }

  ScopedMonitors monitors{engine.window(), 24};
  HWND dialog = nullptr;
  HWND list = nullptr;
};

using Cells = std::vector<std::wstring>;

TEST_F(ObjectListTest, SixColumnsInTheOrderTheReportReads) {
  const struct {
    const wchar_t* title;
    int width;
  } expected[] = {{L"No", 30}, {L"名前", 100}, {L"タイプ", 60}, {L"状態", 60}, {L"X", 40}, {L"Y", 40}};
  ASSERT_EQ(ListViewColumnCount(list), 6);
  for (int column = 0; column < 6; ++column) {
    EXPECT_EQ(ListViewColumnTitle(list, column), expected[column].title);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0), expected[column].width);
  }
  EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
}

TEST_F(ObjectListTest, RowsShowTypeNamesAndStateTexts) {
  Add(0, L"bg01", 1, 0);
  Add(1, L"siru", 0x81, 1);
  Add(2, L"odd", 16, 0xFE);
  Add(3, L"btn", 0xA0, 0xFF);
  AddAt(4, L"chara", -32, 0);
  ASSERT_EQ(ListViewRowCount(list), 5);
  EXPECT_EQ(Row(0), (Cells{L"0", L"bg01", L"BG", L"表示", L"", L""}));
  EXPECT_EQ(Row(1), (Cells{L"1", L"siru", L"SIRU", L"非表示", L"", L""}));
  EXPECT_EQ(Row(2), (Cells{L"2", L"odd", L"unknown", L"生成失敗", L"", L""}));
  EXPECT_EQ(Row(3), (Cells{L"3", L"btn", L"BUTTON", L"非表示", L"", L""}));
  EXPECT_EQ(Row(4), (Cells{L"4", L"chara", L"BG", L"表示", L"-32", L"0"}));

  Clear();
  EXPECT_EQ(ListViewRowCount(list), 0);
  Clear();  // on an empty list
  EXPECT_EQ(ListViewRowCount(list), 0);
}

TEST_F(ObjectListTest, NumberPastTheEndStillFillsTheRowItInserted) {
  Add(0, L"bg01", 1, 0);
  Add(7, L"late", 3, 0xFE);
  ASSERT_EQ(ListViewRowCount(list), 2);
  EXPECT_EQ(Row(1), (Cells{L"7", L"late", L"BU", L"生成失敗", L"", L""}));
}

TEST_F(ObjectListTest, RecordsTooShortForAnEntryAreIgnored) {
  ObjectEntry entry{0, L"x", 1, 0};
  SendHostMessage(dialog, VN_ADD_OBJECT, &entry, 12, engine.window());
  SendHostMessage(dialog, VN_ADD_OBJECT, nullptr, 16, engine.window());
  EXPECT_EQ(ListViewRowCount(list), 0);
}

TEST_F(ObjectListTest, RightClickCopiesNamesAndPositionsAsOneLine) {
  EXPECT_EQ(CopyByRightClick(), "");  // an empty list gives an empty text

  AddAt(0, L"bg01", 0, 0);
  AddAt(1, L"chara", 120, 0);
  AddAt(2, L"face", 0, 8);
  Add(3, L"logo", 1, 0);
  AddAt(4, L"mob", -32, 0);
  EXPECT_EQ(CopyByRightClick(), "\"bg01\",\"chara,120\",\"face,0,8\",\"logo\",\"mob,-32\"");
  // The press belongs to the copy: no row gets selected by it.
  EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 0);
}

TEST_F(ObjectListTest, ClipboardLineIsInTheAnsiCodePageWithLongNamesCut) {
  const std::wstring longName(300, L'x');
  Add(0, longName.c_str(), 1, 0);
  Add(1, L"背景", 1, 0);
  // 背景 in code page 932.
  EXPECT_EQ(CopyByRightClick(), "\"" + std::string(255, 'x') + "\",\"\x94\x77\x8c\x69\"");
}

TEST_F(ObjectListTest, MouseMovesOverTheListReachTheEngine) {
  SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(5, 6));
  PumpMessages();
  ASSERT_EQ(engine.mouseMoves().size(), 1u);
  EXPECT_EQ(engine.mouseMoves()[0].lparam, MAKELPARAM(5, 6));
}

}  // namespace
}  // namespace vnscope::test
