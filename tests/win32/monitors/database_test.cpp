// The database monitor over trees the test builds in its own memory, laid
// out as the engine's DatabaseNode records.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "harness/modal_steps.h"
#include "resources/resource.h"

namespace vnscope::test {
namespace {

// An engine-side database tree; nodes stay put while the monitor holds them.
class Tree {
 public:
  DatabaseNode* Node(int32_t type, const char* key, std::initializer_list<DatabaseNode*> children = {}) {
    DatabaseNode& node = nodes_.emplace_back();
    node.type = type;
    node.key = key ? texts_.emplace_back(key).c_str() : nullptr;
    DatabaseNode* previous = nullptr;
    for (DatabaseNode* child : children) {
      (previous ? previous->next : node.value.firstChild) = child;
      previous = child;
    }
    return &node;
  }
  DatabaseNode* Str(const char* key, const char* text) {
    DatabaseNode* node = Node(1, key);
    node->value.text = texts_.emplace_back(text).c_str();
    return node;
  }
  DatabaseNode* Num(double value) {
    DatabaseNode* node = Node(2, nullptr);
    node->value.number = value;
    return node;
  }
  DatabaseNode* Bool(bool value) {
    DatabaseNode* node = Node(3, nullptr);
    node->value.boolean = value ? 1 : 0;
    return node;
  }
  DatabaseNode* Obj(const char* key, std::initializer_list<DatabaseNode*> c) { return Node(4, key, c); }
  DatabaseNode* Arr(const char* key, std::initializer_list<DatabaseNode*> c) { return Node(5, key, c); }
  // An array of many children, built in a loop.
  DatabaseNode* Arr(const char* key, const std::vector<DatabaseNode*>& children) {
    DatabaseNode* array = Node(5, key);
    for (size_t i = 0; i + 1 < children.size(); ++i) children[i]->next = children[i + 1];
    array->value.firstChild = children.empty() ? nullptr : children.front();
    return array;
  }

  // A table with string headings and the given columns.
  DatabaseNode* Table(const char* key, std::initializer_list<const char*> x, std::initializer_list<const char*> y,
                      std::initializer_list<DatabaseNode*> columns) {
    DatabaseNode* xs = Arr("x", {});
    DatabaseNode* ys = Arr("y", {});
    Chain(xs, x);
    Chain(ys, y);
    return Obj(key, {xs, ys, Arr("data", columns)});
  }

 private:
  void Chain(DatabaseNode* array, std::initializer_list<const char*> texts) {
    DatabaseNode* previous = nullptr;
    for (const char* text : texts) {
      DatabaseNode* node = Str(nullptr, text);
      (previous ? previous->next : array->value.firstChild) = node;
      previous = node;
    }
  }
  std::deque<DatabaseNode> nodes_;
  std::deque<std::string> texts_;
};

class DatabaseTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_TRUE(monitors.created());
    dialog = monitors.set().database;
    ASSERT_NE(dialog, nullptr);
    selector = GetDlgItem(dialog, IDC_TABLE_SELECTOR);
    grid = GetDlgItem(dialog, IDC_TABLE_GRID);
  }

  void Load(DatabaseNode* root) { SendHostMessage(dialog, VN_LOAD_DATABASE, root, 0); }
  void Refresh() { SendHostMessage(dialog, VN_REFRESH_DATABASE, nullptr, 0); }

  std::vector<std::wstring> Entries() {
    std::vector<std::wstring> entries;
    const int count = static_cast<int>(SendMessageW(selector, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      wchar_t text[256] = {};
      SendMessageW(selector, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
      entries.push_back(text);
    }
    return entries;
  }
  // Picks an entry as the tester does: the selection changes and the combo box tells its dialog.
  void Pick(const std::wstring& entry) {
    const LRESULT index = SendMessageW(selector, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(entry.c_str()));
    ASSERT_NE(index, CB_ERR) << Narrow(entry);
    SendMessageW(selector, CB_SETCURSEL, index, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_TABLE_SELECTOR, CBN_SELCHANGE), reinterpret_cast<LPARAM>(selector));
  }
  std::vector<std::wstring> Titles() {
    std::vector<std::wstring> titles;
    for (int c = 0; c < ListViewColumnCount(grid); ++c) titles.push_back(ListViewColumnTitle(grid, c));
    return titles;
  }
  std::vector<std::vector<std::wstring>> Grid() {
    std::vector<std::vector<std::wstring>> rows;
    for (int r = 0; r < ListViewRowCount(grid); ++r) {
      auto& row = rows.emplace_back();
      for (int c = 0; c < ListViewColumnCount(grid); ++c) row.push_back(ListViewCell(grid, r, c));
    }
    return rows;
  }

  ScopedMonitors monitors{engine.window(), 24};
  HWND dialog = nullptr;
  HWND selector = nullptr;
  HWND grid = nullptr;
  Tree tree;
};

TEST_F(DatabaseTest, SelectorEntriesAndCaption) {
  EXPECT_EQ(WindowText(dialog), L"DB");
  EXPECT_EQ(ListView_GetExtendedListViewStyle(grid), static_cast<DWORD>(0x21));
  Load(tree.Obj("maindb", {
      tree.Obj("common", {tree.Obj("flags", {})}),
      tree.Obj("PRIVATE", {tree.Obj("items", {tree.Str("name", "Items")}), tree.Str("skipped", "no table")}),
      tree.Obj("elsewhere", {tree.Obj("hidden", {})}),
  }));
  EXPECT_EQ(WindowText(dialog), L"maindb");
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"#items(Items)", L"@flags"}));
  EXPECT_EQ(ListViewRowCount(grid), 0) << "nothing is shown before a table is picked";
}

TEST_F(DatabaseTest, PickedTableShowsItsGrid) {
  DatabaseNode* changing = tree.Num(2.5);
  Load(tree.Obj("db", {tree.Obj("private", {
      tree.Table("t", {"a", "b"}, {"r1", "r2", "r3"},
                 {tree.Arr(nullptr, {tree.Num(1), tree.Num(2), tree.Num(3)}),
                  tree.Arr(nullptr, {tree.Bool(true), tree.Bool(false), changing})}),
      tree.Table("n", {"v"}, {"p", "q", "r"},
                 {tree.Arr(nullptr, {tree.Num(3.0), tree.Num(-0.5), tree.Num(10000000000.0)})}),
  })}));
  Pick(L"#t");
  EXPECT_EQ(Titles(), (std::vector<std::wstring>{L"項目名", L"a", L"b"}));
  EXPECT_EQ(ListView_GetColumnWidth(grid, 0), 120);
  EXPECT_EQ(ListView_GetColumnWidth(grid, 1), 60);
  EXPECT_EQ(Grid(), (std::vector<std::vector<std::wstring>>{
                        {L"r1", L"1", L"true"}, {L"r2", L"2", L"false"}, {L"r3", L"3", L"2.500"}}));

  // The engine changes one value in place and asks for a refresh.
  changing->value.number = -7;
  Refresh();
  EXPECT_EQ(Grid(), (std::vector<std::vector<std::wstring>>{
                        {L"r1", L"1", L"true"}, {L"r2", L"2", L"false"}, {L"r3", L"3", L"-7"}}));

  Pick(L"#n");
  EXPECT_EQ(Titles(), (std::vector<std::wstring>{L"項目名", L"v"}));
  EXPECT_EQ(Grid(), (std::vector<std::vector<std::wstring>>{
                        {L"p", L"3"}, {L"q", L"-0.500"}, {L"r", L"10000000000.000"}}));
}

TEST_F(DatabaseTest, SecondLoadReplacesSelectorAndEmptiesGrid) {
  DatabaseNode* first = tree.Obj("one", {tree.Obj("private", {tree.Table("t", {"a"}, {"r"}, {tree.Arr(nullptr, {tree.Num(1)})})})});
  Load(first);
  Pick(L"#t");
  ASSERT_EQ(ListViewRowCount(grid), 1);
  Load(tree.Obj(nullptr, {tree.Obj("common", {tree.Obj("u", {}), tree.Obj("s", {})})}));
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"@s", L"@u"}));
  EXPECT_EQ(ListViewRowCount(grid), 0);
  EXPECT_EQ(ListViewColumnCount(grid), 0);
  EXPECT_EQ(WindowText(dialog), L"one") << "a database without a name keeps the caption";
  // The old tree's data is forgotten: a refresh fills nothing.
  Refresh();
  EXPECT_EQ(ListViewRowCount(grid), 0);
}

TEST_F(DatabaseTest, LoopingSiblingChainsEnd) {
  DatabaseNode* a = tree.Obj("a", {});
  DatabaseNode* b = tree.Table("b", {"x1", "x2"}, {"y1"},
                               {tree.Arr(nullptr, {tree.Num(1)}), tree.Arr(nullptr, {tree.Num(2)})});
  DatabaseNode* c = tree.Obj("c", {});
  DatabaseNode* root = tree.Obj("loop", {tree.Obj("private", {a, b, c})});
  c->next = a;  // the table chain loops back to its start
  // The row headings of b loop onto themselves.
  DatabaseNode* firstRow = b->value.firstChild->next->value.firstChild;
  firstRow->next = firstRow;
  Load(root);
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"#a", L"#b", L"#c"}));
  Pick(L"#b");
  EXPECT_EQ(Grid(), (std::vector<std::vector<std::wstring>>{{L"y1", L"1", L"2"}}));
}

// A script table of 20 columns and 60,000 rows shows every cell.
TEST_F(DatabaseTest, LargeTableShowsWhole) {
  constexpr int kColumns = 20, kRows = 60000;
  std::vector<DatabaseNode*> headings, rows, columns;
  for (int c = 0; c < kColumns; ++c) headings.push_back(tree.Str(nullptr, ("c" + std::to_string(c)).c_str()));
  for (int r = 0; r < kRows; ++r) rows.push_back(tree.Str(nullptr, ("r" + std::to_string(r)).c_str()));
  for (int c = 0; c < kColumns; ++c) {
    std::vector<DatabaseNode*> values;
    for (int r = 0; r < kRows; ++r) values.push_back(tree.Num(c * 100000 + r));
    columns.push_back(tree.Arr(nullptr, values));
  }
  DatabaseNode* changing = columns[kColumns - 1]->value.firstChild;
  Load(tree.Obj("db", {tree.Obj("private", {tree.Obj("big", {tree.Arr("x", headings), tree.Arr("y", rows),
                                                               tree.Arr("data", columns)})})}));
  Pick(L"#big");
  EXPECT_EQ(ListViewColumnCount(grid), kColumns + 1);
  ASSERT_EQ(ListViewRowCount(grid), kRows) << "every row, and no line saying the table was cut";
  EXPECT_EQ(ListViewCell(grid, 0, 1), L"0");
  EXPECT_EQ(ListViewCell(grid, 30000, 11), L"1030000");
  EXPECT_EQ(ListViewCell(grid, kRows - 1, 0), L"r59999");
  EXPECT_EQ(ListViewCell(grid, kRows - 1, kColumns), L"1959999");
  // A value changed in place shows after a refresh, the rest as it was.
  changing->value.number = -1;
  Refresh();
  EXPECT_EQ(ListViewCell(grid, 0, kColumns), L"-1");
  EXPECT_EQ(ListViewCell(grid, 1, kColumns), L"1900001");
}

// One column more than the grid takes: the columns it takes show their
// cells, and a last line says the table goes on.
TEST_F(DatabaseTest, TableWiderThanTheGridShowsALineSayingItWasCut) {
  constexpr int kColumns = 1025;
  std::vector<DatabaseNode*> headings, columns;
  for (int c = 0; c < kColumns; ++c) {
    headings.push_back(tree.Num(c));
    columns.push_back(tree.Arr(nullptr, {tree.Num(c), tree.Num(-c)}));
  }
  Load(tree.Obj("db", {tree.Obj("private", {tree.Obj("wide", {tree.Arr("x", headings),
                                                                tree.Arr("y", {tree.Str(nullptr, "a"), tree.Str(nullptr, "b")}),
                                                                tree.Arr("data", columns)})})}));
  Pick(L"#wide");
  EXPECT_EQ(ListViewColumnCount(grid), kColumns);
  ASSERT_EQ(ListViewRowCount(grid), 3);
  EXPECT_EQ(ListViewCell(grid, 0, 1024), L"1023");
  EXPECT_EQ(ListViewCell(grid, 1, 1024), L"-1023");
  EXPECT_EQ(ListViewCell(grid, 2, 0), L"（表が大きすぎるため、ここまでを表示しています）");
  EXPECT_EQ(ListViewCell(grid, 2, 1), L"");
}

// The selector refuses an entry's text the second time it is asked (a
// hooked or failing control answers CB_ERR): nothing is shown, nothing thrown.
WNDPROC g_selectorProc = nullptr;
LRESULT CALLBACK RefuseEntryText(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == CB_GETLBTEXT) return CB_ERR;
  return CallWindowProcW(g_selectorProc, window, message, wparam, lparam);
}

TEST_F(DatabaseTest, AnEntryTextTheSelectorRefusesShowsNothing) {
  Load(tree.Obj("db", {tree.Obj("private", {tree.Table("t", {"a"}, {"r"}, {tree.Arr(nullptr, {tree.Num(1)})})})}));
  g_selectorProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(selector, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RefuseEntryText)));
  Pick(L"#t");
  SetWindowLongPtrW(selector, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_selectorProc));
  EXPECT_EQ(ListViewColumnCount(grid), 0);
  Pick(L"#t");
  EXPECT_EQ(Grid(), (std::vector<std::vector<std::wstring>>{{L"r", L"1"}}));
}

// Monitors destroyed and made again: the engine may have freed the old tree,
// so a refresh before the next load must not read it.
TEST_F(DatabaseTest, RefreshAfterTheMonitorsWereMadeAgainReadsNothing) {
  DatabaseNode* column = tree.Arr(nullptr, {tree.Num(1)});
  Load(tree.Obj("db", {tree.Obj("private", {tree.Table("t", {"a"}, {"r"}, {column})})}));
  Pick(L"#t");
  ASSERT_EQ(ListViewCell(grid, 0, 1), L"1");
  dll.DestroyMonitors(&monitors.set());
  // The freed tree: following this node would fault.
  column->value.firstChild = reinterpret_cast<DatabaseNode*>(0x10);
  ASSERT_TRUE(dll.CreateMonitors(VNSCOPE_INTERFACE_VERSION, engine.window(), &monitors.set()));
  dialog = monitors.set().database;
  Refresh();
  EXPECT_EQ(ListViewRowCount(GetDlgItem(dialog, IDC_TABLE_GRID)), 0);
}

// The message box has the system's own caption: it is found by its owner.
struct MessageBoxWatch {
  HWND owner = nullptr;
  std::vector<std::wstring> texts;  // of the box's controls
};
MessageBoxWatch* g_watch = nullptr;

BOOL CALLBACK CollectText(HWND child, LPARAM) {
  g_watch->texts.push_back(WindowText(child));
  return TRUE;
}

void CALLBACK WatchTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (!g_watch || !g_watch->texts.empty()) return;
  HWND box = OwnedWindow(g_watch->owner, [](HWND window) { return IsWindowVisible(window) != FALSE; });
  if (!box) return;
  EnumChildWindows(box, CollectText, 0);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
}

TEST_F(DatabaseTest, RootThatIsNoObjectShowsAMessageBox) {
  MessageBoxWatch watch{dialog, {}};
  g_watch = &watch;
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, WatchTimer);
  Load(tree.Arr("list", {}));
  KillTimer(nullptr, timer);
  g_watch = nullptr;
  EXPECT_NE(std::find(watch.texts.begin(), watch.texts.end(), L"処理可能なDBではありません。"), watch.texts.end())
      << "message box seen: " << !watch.texts.empty();
  EXPECT_TRUE(Entries().empty());
  EXPECT_EQ(ListViewColumnCount(grid), 0);
}

}  // namespace
}  // namespace vnscope::test
