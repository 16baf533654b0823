// The report browser against the real report server (through a recording
// relay): the list by tab, refresh, state changes, the preview, failures.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "browser/report_browser.h"
#include "browser_driving.h"
#include "harness/loopback.h"
#include "harness/popup_menu.h"
#include "report/protocol/report_types.h"
#include "resources/resource.h"
#include "win32/win32_text.h"

namespace vnscope::test {
namespace {

constexpr uint8_t kListRequest = 2;
constexpr uint8_t kStateRequest = 4;
constexpr uint8_t kEndExchange = 0;
constexpr COLORREF kUnchanged = RGB(1, 2, 3);

std::wstring Wide(const std::u16string& text) { return AsWide(text); }

// One report per row of the tab table, each seeded fresh for the test.
struct TabCase {
  const char* what;
  ReportSeed seed;
  bool shown[4];  // under tabs 0 to 3
  const wchar_t* label;
};

const TabCase kTabCases[] = {
    {"new, text", {u"起動直後に立ち絵が欠ける", ReportFlags::HasText}, {true, true, false, false}, L"新着"},
    {"fixed, text", {u"修正済みの報告", ReportFlags::HasText, ReportState::Fixed}, {true, false, false, false},
     L"修正済"},
    {"snapshot only", {u"SSだけ", ReportFlags::HasSnapshot}, {false, false, true, true}, L"新着"},
    {"refix, both", {u"両方・再修正", 3, ReportState::RefixRequested}, {true, true, true, true}, L"再修正依頼"},
    {"no problem, both", {u"両方・問題なし", 3, ReportState::NoProblem}, {true, false, true, false}, L"問題なし"},
    {"untitled", {u"", ReportFlags::HasText}, {true, true, false, false}, L"新着"},
};

std::vector<SeededReport> SeedTabCases() {
  std::vector<ReportSeed> seeds;
  for (const auto& c : kTabCases) seeds.push_back(c.seed);
  return SeedReports(seeds);
}

TEST_F(BrowserTest, CreationFetchListsOpenTextReportsOnTabOne) {
  const auto seeded = SeedTabCases();
  Open();
  EXPECT_FALSE(IsWindowVisible(browser)) << "the browser is created hidden";
  ASSERT_EQ(Settle(), L"");
  EXPECT_EQ(CurrentTab(), 1);
  EXPECT_EQ(relay->CountRequests(kListRequest), 1u);
  for (size_t i = 0; i < seeded.size(); ++i) {
    const TabCase& c = kTabCases[i];
    const int row = RowOf(seeded[i].name);
    ASSERT_EQ(row >= 0, c.shown[1]) << c.what;
    if (row < 0) continue;
    // An empty title shows the report's name in the title column.
    EXPECT_EQ(ListViewCell(list, row, 1), Wide(c.seed.title.empty() ? seeded[i].name : c.seed.title)) << c.what;
    EXPECT_EQ(ListViewCell(list, row, 2), c.label) << c.what;
    EXPECT_EQ(ListViewCell(list, row, 3), Wide(seeded[i].reporter)) << c.what;
    EXPECT_EQ(static_cast<uint32_t>(RowData(row)), c.seed.state) << c.what;
  }
  // Rows run in ascending order of report name.
  std::vector<std::wstring> names;
  for (int row = 0; row < ListViewRowCount(list); ++row) names.push_back(ListViewCell(list, row, 0));
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  // The layout: four columns, the name column hidden until widened.
  const struct {
    const wchar_t* title;
    int width;
  } columns[] = {{L"レポート名", 0}, {L"タイトル", 240}, {L"状態", 80}, {L"報告者", 80}};
  ASSERT_EQ(ListViewColumnCount(list), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(ListViewColumnTitle(list, i), columns[i].title);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0), columns[i].width) << i;
  }
  const DWORD extended = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  EXPECT_EQ(extended & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT), DWORD{LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT});
}

TEST_F(BrowserTest, TabChangesRefilterWithoutFetching) {
  const auto seeded = SeedTabCases();
  Open();
  ASSERT_EQ(Settle(), L"");
  const wchar_t* captions[] = {L"TXT全件", L"TXT未処理", L"SS付き全件", L"SS付き未処理"};
  for (int tab : {0, 2, 3, 1}) {
    ClickTab(tab);
    EXPECT_EQ(CurrentTab(), tab);
    wchar_t caption[32] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption;
    item.cchTextMax = 32;
    SendMessageW(tabs, TCM_GETITEMW, tab, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(caption, captions[tab]);
    for (size_t i = 0; i < seeded.size(); ++i) {
      EXPECT_EQ(RowOf(seeded[i].name) >= 0, kTabCases[i].shown[tab]) << kTabCases[i].what << ", tab " << tab;
    }
  }
  EXPECT_EQ(relay->CountRequests(kListRequest), 1u) << "a tab change refilters the table it has";
}

TEST_F(BrowserTest, RefreshPressedTwiceWhileFetchingStartsOneFetch) {
  const auto seeded = SeedReports({{u"更新の確認"}});
  Open();
  ASSERT_EQ(Settle(), L"");
  ClickTab(0);
  const auto added = SeedReports({{u"更新で現れる"}});

  relay->HoldReplies(true);
  Command(IDOK);
  Command(IDOK);
  EXPECT_TRUE(PumpUntil([&] { return relay->CountRequests(kListRequest) >= 2; }));
  EXPECT_EQ(relay->CountRequests(kListRequest), 2u) << "creation fetch and one refresh";
  // Tabs stay usable while the fetch runs: they refilter the old table.
  ClickTab(2);
  ClickTab(0);
  EXPECT_GE(RowOf(seeded[0].name), 0);
  EXPECT_LT(RowOf(added[0].name), 0);
  relay->HoldReplies(false);
  ASSERT_EQ(Settle(), L"");
  // A fetch the second press had started would have sent its request while
  // the first one's reply was held: once that reply is shown, it would count.
  EXPECT_GE(RowOf(added[0].name), 0) << "the refresh brought the new report";
  EXPECT_EQ(relay->CountRequests(kListRequest), 2u) << "the second press started nothing";
  EXPECT_EQ(CurrentTab(), 1) << "a fetched list is shown under TXT未処理";

  Command(IDOK);
  ASSERT_EQ(Settle(), L"");
  EXPECT_EQ(relay->CountRequests(kListRequest), 3u) << "an idle browser refreshes again";
}

struct StateCase {
  int command;
  uint32_t state;
  const wchar_t* label;
  COLORREF colour;
};

TEST_F(BrowserTest, StateChangeOnThreeRowsUsesOneConnectionAndRefillsOnce) {
  const StateCase cases[] = {
      {kRequestRefix, ReportState::RefixRequested, L"再修正依頼", RGB(255, 0, 0)},
      {kMarkFixed, ReportState::Fixed, L"修正済", RGB(128, 128, 128)},
      {kMarkConfirmed, ReportState::Confirmed, L"完了", RGB(192, 192, 192)},
      {kMarkNoProblem, ReportState::NoProblem, L"問題なし", RGB(192, 240, 240)},
  };
  const auto seeded = SeedReports({{u"状態A", 3}, {u"状態B", 3}, {u"状態C", 3}, {u"状態は変えない", 3}});
  Open();
  ASSERT_EQ(Settle(), L"");
  ClickTab(0);
  ASSERT_EQ(RowColour(RowOf(seeded[0].name), kUnchanged), kUnchanged) << "New keeps the list's colour";
  for (const auto& c : cases) {
    SelectRows({RowOf(seeded[0].name), RowOf(seeded[1].name), RowOf(seeded[2].name)});
    const size_t connectionsBefore = relay->Connections().size();
    FillCounter counter(browser);
    Command(c.command);
    ASSERT_EQ(Settle(), L"") << c.label;
    EXPECT_EQ(counter.fills(), 1) << c.label;
    const auto connections = relay->Connections();
    ASSERT_EQ(connections.size(), connectionsBefore + 1) << c.label;
    std::vector<uint8_t> codes;
    for (const auto& request : connections.back()) codes.push_back(request.code);
    EXPECT_EQ(codes, (std::vector<uint8_t>{kStateRequest, kStateRequest, kStateRequest, kEndExchange})) << c.label;
    EXPECT_EQ(CurrentTab(), 0) << "the refill keeps the tab";
    for (int i = 0; i < 3; ++i) {
      const int row = RowOf(seeded[i].name);
      ASSERT_GE(row, 0);
      EXPECT_EQ(ListViewCell(list, row, 2), c.label);
      EXPECT_EQ(RowColour(row, kUnchanged), c.colour) << c.label;
    }
    EXPECT_EQ(ListViewCell(list, RowOf(seeded[3].name), 2), L"新着");
    const ReportRecords stored = ServerReports();
    for (int i = 0; i < 4; ++i) ASSERT_NE(stored.find(seeded[i].name), stored.end()) << "not listed";
    for (int i = 0; i < 3; ++i) EXPECT_EQ(stored.find(seeded[i].name)->second.state, c.state) << c.label;
    EXPECT_EQ(stored.find(seeded[3].name)->second.state, ReportState::New);
  }
  // Dealt with: gone from TXT未処理.
  ClickTab(1);
  EXPECT_LT(RowOf(seeded[0].name), 0);
  EXPECT_GE(RowOf(seeded[3].name), 0);
}

TEST_F(BrowserTest, StateChangeWithNothingSelectedFails) {
  Open();
  ASSERT_EQ(Settle(), L"");
  SelectRows({});
  Command(kMarkFixed);
  EXPECT_EQ(Settle(), L"状態の変更に失敗しましたorz");
  EXPECT_EQ(messageOwner, browser);
}

TEST_F(BrowserTest, OpenPreviewsTheTextAndFollowsTheSelection) {
  const auto seeded = SeedReports({{u"プレビュー1", ReportFlags::HasText, ReportState::New, u"一行目の本文"},
                                   {u"プレビュー2", ReportFlags::HasText, ReportState::New, u"二つ目の本文"}});
  Open();
  ASSERT_EQ(Settle(), L"");
  HWND preview = FindThreadWindow(kPreviewCaption);
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(GetWindow(preview, GW_OWNER), browser);
  EXPECT_FALSE(IsWindowVisible(preview));

  SelectRows({RowOf(seeded[0].name)});
  Command(kOpenReport);
  EXPECT_TRUE(IsWindowVisible(preview));
  // The text as the server sends it, then the line break it sends after it.
  const std::wstring expected = Wide(seeded[0].text) + L"\r\n";
  EXPECT_EQ(ControlText(preview, IDC_PREVIEW_TEXT), expected);
  DWORD start = 0, end = 0;
  SendDlgItemMessageW(preview, IDC_PREVIEW_TEXT, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                      reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, expected.size());
  EXPECT_EQ(end, expected.size());

  // While the preview is up, selecting another row shows that one.
  SelectRows({RowOf(seeded[1].name)});
  EXPECT_EQ(ControlText(preview, IDC_PREVIEW_TEXT), Wide(seeded[1].text) + L"\r\n");

  // Closing hides the preview; a selection change then fetches nothing.
  SendMessageW(preview, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(preview));
  const size_t connections = relay->Connections().size();
  SelectRows({RowOf(seeded[0].name)});
  EXPECT_EQ(relay->Connections().size(), connections);
  // Activating a row (double click, Enter) opens it like "開く".
  NMITEMACTIVATE activate{};
  activate.hdr = {list, IDC_BROWSER_LIST, LVN_ITEMACTIVATE};
  activate.iItem = RowOf(seeded[0].name);
  SendMessageW(browser, WM_NOTIFY, IDC_BROWSER_LIST, reinterpret_cast<LPARAM>(&activate));
  EXPECT_TRUE(IsWindowVisible(preview));
  EXPECT_EQ(ControlText(preview, IDC_PREVIEW_TEXT), expected);
}

TEST_F(BrowserTest, RightClickOpensThePopupMenu) {
  const auto seeded = SeedReports({{u"右クリック"}});
  Open();
  ASSERT_EQ(Settle(), L"");
  ShowWindow(browser, SW_SHOWNORMAL);
  const int row = RowOf(seeded[0].name);
  ASSERT_GE(row, 0);
  RECT cell{LVIR_BOUNDS};
  SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&cell));
  SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
  const std::vector<PopupItem> popup =
      ReadPopupMenu([&] { RightClickAt(list, cell.left + 100, (cell.top + cell.bottom) / 2); });
  const std::vector<PopupItem> expected = {
      {30000, L"開く", true},
      {30001, L"スナップショットを開く", true},
      {0, L"", true},
      {30002, L"状態を[再修正依頼]にする", true},
      {30003, L"状態を[修正済み]にする", true},
      {30004, L"状態を[完了(修正確認済み)]にする", true},
      {30005, L"状態を[問題なし]にする", true},
      {30006, L"この状態を再現", true},
  };
  ASSERT_EQ(popup.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(popup[i].id, expected[i].id) << i;
    EXPECT_EQ(popup[i].caption, expected[i].caption) << i;
  }
  EXPECT_EQ(relay->CountRequests(2), 1u) << "closing the menu runs nothing";
}

TEST_F(BrowserTest, ClosingHidesAndShowingAgainKeepsTheList) {
  const auto seeded = SeedReports({{u"閉じても残る"}});
  Open();
  ASSERT_EQ(Settle(), L"");
  ShowWindow(browser, SW_SHOWNORMAL);
  SendMessageW(browser, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(browser));
  EXPECT_FALSE(IsWindowVisible(browser));
  ShowWindow(browser, SW_SHOWNORMAL);
  EXPECT_GE(RowOf(seeded[0].name), 0);
  Command(IDCANCEL);
  EXPECT_TRUE(IsWindowVisible(browser)) << "キャンセル does nothing";
}

TEST_F(BrowserTest, SizeChangeLaysOutTabsListAndButtons) {
  Open();
  ASSERT_EQ(Settle(), L"");
  SendMessageW(browser, WM_SIZE, SIZE_RESTORED, MAKELPARAM(400, 300));
  const struct {
    HWND window;
    RECT expected;
  } cases[] = {
      {tabs, {0, 0, 400, 280}},
      {list, {0, 20, 400, 280}},
      {GetDlgItem(browser, IDOK), {136, 280, 196, 300}},
      {GetDlgItem(browser, IDCANCEL), {204, 280, 264, 300}},
  };
  for (const auto& c : cases) {
    const RECT r = ChildRectInParent(c.window);
    EXPECT_EQ(r.left, c.expected.left);
    EXPECT_EQ(r.top, c.expected.top);
    EXPECT_EQ(r.right, c.expected.right);
    EXPECT_EQ(r.bottom, c.expected.bottom);
  }
}

TEST_F(BrowserTest, NoServerShowsTheListFailureWithoutHanging) {
  const auto started = std::chrono::steady_clock::now();
  Open({"127.0.0.1", UnusedPort()});
  EXPECT_EQ(Settle(), L"レポート一覧の受信に失敗しましたorz");
  EXPECT_EQ(messageOwner, browser) << "owned by the browser, hidden as it is";
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_EQ(ListViewRowCount(list), 0);
}

TEST_F(BrowserTest, FailedRefreshKeepsTheLastGoodList) {
  const auto seeded = SeedReports({{u"失敗しても残る"}});
  Open();
  ASSERT_EQ(Settle(), L"");
  ASSERT_GE(RowOf(seeded[0].name), 0);
  // The server goes away.
  relay.reset();
  Command(IDOK);
  EXPECT_EQ(Settle(), L"レポート一覧の受信に失敗しましたorz");
  EXPECT_GE(RowOf(seeded[0].name), 0);
  ClickTab(0);
  EXPECT_GE(RowOf(seeded[0].name), 0) << "the table still holds what the list shows";
}

}  // namespace
}  // namespace vnscope::test
