// The report list's own ways of finding a row, as a tester and a program use
// them: typing a report's name, and searches by name and by data value. The
// expected rows come from reading the list back cell by cell.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "browser_driving.h"
#include "report/protocol/report_types.h"
#include "win32/win32_text.h"

namespace vnscope::test {
namespace {

// The first row from the top whose name (cell 0) starts with `prefix`; -1
// when none does.
int FirstRowNamed(HWND list, const std::wstring& prefix) {
  for (int row = 0; row < ListViewRowCount(list); ++row) {
    if (ListViewCell(list, row, 0).starts_with(prefix)) return row;
  }
  return -1;
}

int FindItem(HWND list, UINT flags, const std::wstring& text, LPARAM data = 0) {
  LVFINDINFOW find{};
  find.flags = flags;
  find.psz = text.c_str();
  find.lParam = data;
  return static_cast<int>(SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

TEST_F(BrowserTest, TypingANameSelectsItsRow) {
  const auto seeded = SeedReports({{u"打鍵1"}, {u"打鍵2"}, {u"打鍵3"}});
  Open();
  ASSERT_EQ(Settle(), L"");
  ClickTab(0);
  const int target = RowOf(seeded[1].name);
  ASSERT_GE(target, 0);
  SelectRows({});
  // Characters in quick succession extend the name searched for.
  for (char16_t c : seeded[1].name) SendMessageW(list, WM_CHAR, c, 1);
  EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), target);
  EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), target);
}

TEST_F(BrowserTest, SearchesFindRowsByNameAndByState) {
  const auto seeded = SeedReports({{u"検索1", 3, ReportState::RefixRequested}, {u"検索2", 3}, {u"検索3", 3}});
  Open();
  ASSERT_EQ(Settle(), L"");
  ClickTab(0);
  const std::wstring name = AsWide(seeded[2].name);
  const std::wstring stem = name.substr(0, name.size() - 1);
  int refix = -1;
  for (int row = 0; row < ListViewRowCount(list) && refix < 0; ++row) {
    if (RowData(row) == static_cast<LPARAM>(ReportState::RefixRequested)) refix = row;
  }
  ASSERT_GE(refix, 0);
  const struct {
    const char* what;
    UINT flags;
    std::wstring text;
    LPARAM data;
    int expected;
  } cases[] = {
      {"whole name", LVFI_STRING, name, 0, RowOf(seeded[2].name)},
      {"a name's start is not a whole name", LVFI_STRING, stem, 0, -1},
      {"a name's start", LVFI_PARTIAL | LVFI_STRING, stem, 0, FirstRowNamed(list, stem)},
      {"a name nobody has", LVFI_STRING, L"19990101-000000-000001", 0, -1},
      {"data value: the state", LVFI_PARAM, L"", static_cast<LPARAM>(ReportState::RefixRequested), refix},
  };
  for (const auto& c : cases) EXPECT_EQ(FindItem(list, c.flags, c.text, c.data), c.expected) << c.what;
}

}  // namespace
}  // namespace vnscope::test
