// The variable list monitor as the engine and a tester see it: host messages
// fill the list, double-clicks toggle groups and open the value editor, and
// the edited value comes back to the engine as VariableEdited.
#include <windows.h>
#include <commctrl.h>

#include "resources/resource.h"
#include "variable_list_fixture.h"

namespace vnscope::test {
namespace {

TEST_F(VariableListTest, ColumnsAndStyles) {
  ASSERT_EQ(ListViewColumnCount(list), 3);
  const wchar_t* titles[] = {L"変数名", L"値", L"対応Reg"};
  const int widths[] = {120, 60, 60};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(ListViewColumnTitle(list, c), titles[c]);
    EXPECT_EQ(ListView_GetColumnWidth(list, c), widths[c]);
  }
  EXPECT_EQ(ListView_GetExtendedListViewStyle(list), static_cast<DWORD>(0x21));
  HIMAGELIST states = ListView_GetImageList(list, LVSIL_STATE);
  ASSERT_NE(states, nullptr);
  EXPECT_EQ(ImageList_GetImageCount(states), 4);
  int cx = 0, cy = 0;
  ImageList_GetIconSize(states, &cx, &cy);
  EXPECT_EQ(cx, 9);
  EXPECT_EQ(cy, 12);
}

TEST_F(VariableListTest, HostMessagesFillTheList) {
  Add({L"#a.x", L"#a.y", L"@c", L"nosigil", L"#b"});
  // #b is table position 2, @c position 3 (index 0 among the "@" names).
  Commit({{7, 0, 2}, {3, 0x0102, 0}, {9, 0, 40}});
  ASSERT_EQ(ListViewRowCount(list), 3);
  SetValue(0, L"3");
  SetValue(1, L"-1abc");
  SetValue(3, L"  12");
  SetValue(4, L"99");  // no such variable
  EXPECT_EQ(Row(0), (std::vector<std::wstring>{L"#a", L"{3,-1}", L""}));
  EXPECT_EQ(Row(1), (std::vector<std::wstring>{L"#b", L"0", L"[7]"}));
  EXPECT_EQ(Row(2), (std::vector<std::wstring>{L"@c", L"12", L"[3]"}));
  EXPECT_EQ(StateImage(0), 1);
  EXPECT_EQ(StateImage(1), 0);
}

TEST_F(VariableListTest, RegisterMapLengthAndSecondCommit) {
  Add({L"#a", L"#b"});
  // cbData 12: one whole entry and 4 ignored bytes.
  Commit({{5, 0, 0}, {6, 0, 1}}, 12);
  EXPECT_EQ(Row(0)[2], L"[5]");
  EXPECT_EQ(Row(1)[2], L"");
  // A second commit lists only its own names, bound by its own map; cbData 7 binds none.
  Add({L"#c", L"#d"});
  Commit({{8, 0, 0}}, 7);
  EXPECT_EQ(NameColumn(), (std::vector<std::wstring>{L"#c", L"#d"}));
  EXPECT_EQ(Row(0)[2], L"");
  SendHostMessage(dialog, VN_ADD_VARIABLE_NAME, nullptr, 24);
  SendHostMessage(dialog, VN_SET_VARIABLE_VALUE, nullptr, 24);
  EXPECT_EQ(ListViewRowCount(list), 2);
}

// A byte count that no record in memory can have (it would run past the
// end of the address space) counts as no entries; the names still commit.
TEST_F(VariableListTest, RegisterMapLongerThanTheAddressSpaceBindsNothing) {
  Add({L"#a", L"#b"});
  Commit({{5, 0, 0}}, 0xFFFFFFF8u);
  EXPECT_EQ(NameColumn(), (std::vector<std::wstring>{L"#a", L"#b"}));
  EXPECT_EQ(Row(0)[2], L"");
}

TEST_F(VariableListTest, DoubleClickTogglesGroupsOnNameOrValueCell) {
  Add({L"#s.a", L"#s.b", L"#t"});
  Commit();
  ASSERT_EQ(NameColumn(), (std::vector<std::wstring>{L"#s", L"#t"}));
  DoubleClickCell(0, 0);
  EXPECT_EQ(NameColumn(), (std::vector<std::wstring>{L"#s", L"  a", L"  b", L"#t"}));
  EXPECT_EQ(StateImage(0), 2);
  EXPECT_EQ(StateImage(1), 3);
  EXPECT_EQ(StateImage(2), 4);
  EXPECT_EQ(Row(0)[1], L"");
  DoubleClickCell(0, 1);
  EXPECT_EQ(NameColumn(), (std::vector<std::wstring>{L"#s", L"#t"}));
  EXPECT_EQ(StateImage(0), 1);
  // The state image left of the label is no cell: nothing happens.
  RECT label{};
  ListView_GetItemRect(list, 0, &label, LVIR_LABEL);
  DoubleClickInList(label.left - 3, (label.top + label.bottom) / 2);
  EXPECT_EQ(ListViewRowCount(list), 2);
  EXPECT_FALSE(EditorShown());
}

TEST_F(VariableListTest, EditorOpensOverTheValueAndEnterSendsIt) {
  Add({L"#g.first", L"#g.second", L"#b"});
  Commit();
  SetValue(1, L"17");
  DoubleClickCell(0, 0);  // expand #g
  DoubleClickCell(2, 1);  // the value of #g.second
  ASSERT_TRUE(EditorShown());
  EXPECT_EQ(GetFocus(), editor);
  EXPECT_EQ(WindowText(editor), L"17");
  DWORD start = 1, end = 0;
  SendMessageW(editor, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 2u);
  // Over column 1 of the row.
  RECT cell{}, label{};
  ListView_GetSubItemRect(list, 2, 1, LVIR_BOUNDS, &cell);
  ListView_GetItemRect(list, 2, &label, LVIR_LABEL);
  const RECT placed = ChildRectInParent(editor);
  EXPECT_EQ(placed.left, cell.left);
  EXPECT_EQ(placed.top, label.top);
  EXPECT_EQ(placed.right - placed.left, 60);
  EXPECT_EQ(placed.bottom - placed.top, label.bottom - label.top - 1);

  engine.ClearReceived();
  TypeText(editor, L"42");
  PressKey(editor, VK_RETURN);
  EXPECT_FALSE(EditorShown());
  EXPECT_EQ(Row(2)[1], L"42");
  const auto sent = engine.CopiesWithCommand(3);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].sender, editor);
  EXPECT_EQ(sent[0].byteCount, 512u);
  EXPECT_EQ(sent[0].TextAt(0), L"42");
  EXPECT_EQ(sent[0].TextAt(256), L"#g.second");
}

TEST_F(VariableListTest, FocusLossCommitsTheTypedValue) {
  Add({L"#v"});
  Commit();
  DoubleClickCell(0, 1);
  ASSERT_TRUE(EditorShown());
  engine.ClearReceived();
  TypeText(editor, L"7");
  SetFocus(list);
  PumpMessages();
  EXPECT_FALSE(EditorShown());
  EXPECT_EQ(Row(0)[1], L"7");
  const auto sent = engine.CopiesWithCommand(3);
  ASSERT_EQ(sent.size(), 1u) << "committed once, not again when the focus leaves the hidden editor";
  EXPECT_EQ(sent[0].TextAt(0), L"7");
  EXPECT_EQ(sent[0].TextAt(256), L"#v");
}

TEST_F(VariableListTest, LongNameIsCutInTheRecordAndARecommitDropsTheTarget) {
  const std::wstring longName = L"#" + std::wstring(200, L'n');
  Add({longName.c_str()});
  Commit();
  DoubleClickCell(0, 1);
  ASSERT_TRUE(EditorShown());
  engine.ClearReceived();
  PressKey(editor, VK_RETURN);
  auto sent = engine.CopiesWithCommand(3);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].TextAt(256), longName.substr(0, 127));

  // The table is rebuilt while the editor is open: the old target is gone,
  // so Enter hides the editor and sends nothing.
  DoubleClickCell(0, 1);
  ASSERT_TRUE(EditorShown());
  Add({L"#other"});
  Commit();
  engine.ClearReceived();
  TypeText(editor, L"5");
  PressKey(editor, VK_RETURN);
  EXPECT_FALSE(EditorShown());
  EXPECT_TRUE(engine.CopiesWithCommand(3).empty());
  EXPECT_EQ(Row(0), (std::vector<std::wstring>{L"#other", L"0", L""}));
}

}  // namespace
}  // namespace vnscope::test
