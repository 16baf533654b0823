#include "harness/list_driving.h"

#include <commctrl.h>

#include "harness/harness.h"

namespace vnscope::test {

int FindListRow(HWND list, int column, const std::wstring& text) {
  for (int row = 0; row < ListViewRowCount(list); ++row) {
    if (ListViewCell(list, row, column) == text) return row;
  }
  return -1;
}

void SelectListRows(HWND list, const std::vector<int>& rows) {
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = 0;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
  for (int row : rows) {
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
  }
}

LPARAM ListRowData(HWND list, int row) {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return item.lParam;
}

COLORREF CustomDrawRowColour(HWND list, int row, COLORREF unchanged, LRESULT* answer) {
  NMLVCUSTOMDRAW draw{};
  draw.nmcd.hdr.hwndFrom = list;
  draw.nmcd.hdr.idFrom = GetDlgCtrlID(list);
  draw.nmcd.hdr.code = NM_CUSTOMDRAW;
  draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
  draw.nmcd.dwItemSpec = row;
  draw.nmcd.lItemlParam = ListRowData(list, row);
  draw.clrText = unchanged;
  const LRESULT reply =
      SendMessageW(GetParent(list), WM_NOTIFY, draw.nmcd.hdr.idFrom, reinterpret_cast<LPARAM>(&draw));
  if (answer != nullptr) *answer = reply;
  return draw.clrText;
}

void ClickTab(HWND tabs, int index) {
  RECT item{};
  SendMessageW(tabs, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item));
  ClickAt(tabs, (item.left + item.right) / 2, (item.top + item.bottom) / 2);
}

int SelectedTab(HWND tabs) { return static_cast<int>(SendMessageW(tabs, TCM_GETCURSEL, 0, 0)); }

}  // namespace vnscope::test
