#include "browser/report_list_view.h"

#include <commctrl.h>

#include <cstddef>
#include <cwchar>
#include <string>

#include "browser/report_rows.h"
#include "win32/boundary_guard.h"
#include "win32/subclass.h"
#include "win32/win32_text.h"

namespace vnscope {
namespace {

struct ReportListState {
  HWND list = nullptr;
  ReportRows rows;
  Subclass subclass;
};

ReportListState& ReportList() {
  static ReportListState state;
  return state;
}

// A row's data value is its report's state, as the item data of a list that
// holds its items; the custom draw colours the row by it.
LPARAM RowData(const ReportRows::Entry& entry) { return static_cast<LPARAM>(entry.second.state); }

// An owner-data list keeps no data values and answers 0 for every row, so the
// row's value is put in after the list has answered.
template <class Item>
void FillRowData(Item* item) {
  if (item == nullptr || (item->mask & LVIF_PARAM) == 0 || item->iSubItem != 0) return;
  if (const ReportRows::Entry* entry = ReportList().rows.At(item->iItem)) item->lParam = RowData(*entry);
}

LRESULT CALLBACK ReportListProc(HWND list, UINT message, WPARAM wparam, LPARAM lparam) {
  return GuardBoundary(LRESULT{0}, [&] {
    const LRESULT result = ReportList().subclass.CallPrevious(list, message, wparam, lparam);
    if (result != 0 && message == LVM_GETITEMW) FillRowData(reinterpret_cast<LVITEMW*>(lparam));
    if (result != 0 && message == LVM_GETITEMA) FillRowData(reinterpret_cast<LVITEMA*>(lparam));
    return result;
  });
}

void OnGetDispInfo(NMLVDISPINFOW* request) {
  LVITEMW& item = request->item;
  if ((item.mask & LVIF_TEXT) == 0) return;
  CopyToTextBuffer(ReportList().rows.Cell(item.iItem, item.iSubItem), item.pszText, item.cchTextMax);
}

// Case-insensitive, as the list compares names when it searches its own
// items.
bool StartsWith(std::u16string_view name, const wchar_t* prefix, bool whole) {
  const size_t length = std::wcslen(prefix);
  if (name.size() < length || (whole && name.size() != length)) return false;
  return CompareStringOrdinal(reinterpret_cast<const wchar_t*>(name.data()), static_cast<int>(length), prefix,
                              static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

bool RowMatches(const ReportRows::Entry& entry, const LVFINDINFOW& find) {
  if ((find.flags & LVFI_PARAM) != 0) return RowData(entry) == find.lParam;
  if ((find.flags & (LVFI_STRING | LVFI_PARTIAL)) == 0) return true;
  if (find.psz == nullptr) return false;
  return StartsWith(entry.first, find.psz, (find.flags & LVFI_PARTIAL) == 0);
}

// A search by name (typing in the list) or by data value: the first row from
// `iStart` on that matches, then from the top when the search wraps.
LRESULT OnFindItem(const NMLVFINDITEMW* search) {
  const ReportRows& rows = ReportList().rows;
  const int start = search->iStart < 0 || search->iStart >= rows.count() ? 0 : search->iStart;
  for (int row = start; row < rows.count(); ++row) {
    if (RowMatches(*rows.At(row), search->lvfi)) return row;
  }
  if ((search->lvfi.flags & LVFI_WRAP) == 0) return -1;
  for (int row = 0; row < start; ++row) {
    if (RowMatches(*rows.At(row), search->lvfi)) return row;
  }
  return -1;
}

LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw) {
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      const ReportRows::Entry* entry = ReportList().rows.At(static_cast<int>(draw->nmcd.dwItemSpec));
      const auto colour = entry != nullptr ? ReportStateColour(entry->second.state) : std::nullopt;
      if (colour) draw->clrText = RGB(colour->red, colour->green, colour->blue);
      return CDRF_NEWFONT;
    }
    default: return CDRF_DODEFAULT;
  }
}

}  // namespace

void AttachReportList(HWND list) {
  ReportListState& state = ReportList();
  state.list = list;
  state.subclass.Install(list, ReportListProc);
}

void DetachReportList() {
  ReportListState& state = ReportList();
  state.subclass.Restore();
  state.rows.Clear();
  state.list = nullptr;
}

void FillReportList(const ReportTable& table, int filter) {
  ReportListState& state = ReportList();
  // Emptying and resizing the list each lay out its scroll bars and header;
  // with drawing held that happens once, when it is turned back on.
  SendMessageW(state.list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(state.list, LVM_DELETEALLITEMS, 0, 0);
  state.rows.Fill(table, filter);
  SendMessageW(state.list, LVM_SETITEMCOUNT, static_cast<WPARAM>(state.rows.count()), 0);
  SendMessageW(state.list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(state.list, nullptr, TRUE);
}

std::u16string ReportListName(int row) { return ReportList().rows.Cell(row, 0); }

void ForgetReportRows() { ReportList().rows.Clear(); }

std::optional<LRESULT> AnswerReportListNotify(NMHDR* header) {
  if (header->hwndFrom != ReportList().list) return std::nullopt;
  switch (header->code) {
    case LVN_GETDISPINFOW: OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(header)); return 0;
    case LVN_ODFINDITEMW: return OnFindItem(reinterpret_cast<NMLVFINDITEMW*>(header));
    case NM_CUSTOMDRAW: return OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
    default: return std::nullopt;
  }
}

}  // namespace vnscope
