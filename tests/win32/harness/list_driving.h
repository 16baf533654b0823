// Reading and driving list views and tab controls as a tester does, for the
// windows that show reports.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace vnscope::test {

// The first row whose cell in `column` reads `text`; -1 when none does.
int FindListRow(HWND list, int column, const std::wstring& text);
// Selects exactly these rows (the last one focused).
void SelectListRows(HWND list, const std::vector<int>& rows);
// The row's data value (LVIF_PARAM).
LPARAM ListRowData(HWND list, int row);
// The text colour the list's parent gives the row when the list asks at the
// item pre-paint stage of custom draw; `unchanged` when it keeps the list's.
// `answer` receives the parent's reply.
COLORREF CustomDrawRowColour(HWND list, int row, COLORREF unchanged, LRESULT* answer = nullptr);
// Selects a tab as a click on it does.
void ClickTab(HWND tabs, int index);
int SelectedTab(HWND tabs);

}  // namespace vnscope::test
