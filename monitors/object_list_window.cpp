// The object list monitor (dialog 102). The list control is the only store of
// rows: the report reads its six columns by index, so their order and texts
// are part of the interface.
#include <windows.h>
#include <commctrl.h>

#include <iterator>
#include <string>
#include <vector>

#include "monitors/clipboard.h"
#include "monitors/monitor_window.h"
#include "include/vnscope.h"
#include "monitors/monitor_dialogs.h"
#include "monitors/object_table.h"
#include "resources/resource.h"
#include "win32/boundary_guard.h"
#include "win32/subclass.h"
#include "win32/win32_text.h"

namespace vnscope {
namespace {

constexpr int kWindowWidth = 350;
// Room for any 32-bit decimal and its sign in the coordinate cells.
constexpr int kCoordinateBuffer = 16;
constexpr int kNameBuffer = 256;

enum Column { kNumber, kName, kType, kState, kX, kY };

struct ColumnSpec {
  const wchar_t* title;
  int width;
};

constexpr ColumnSpec kColumns[] = {
    {L"No", 30}, {L"名前", 100}, {L"タイプ", 60}, {L"状態", 60}, {L"X", 40}, {L"Y", 40},
};

// One object list per process; the subclass puts the list's own procedure
// back when the dialog goes away.
struct ObjectListState {
  Subclass list;
} g_objectList;

HWND ListOf(HWND dialog) { return GetDlgItem(dialog, IDC_OBJECT_LIST); }

void SetCell(HWND list, int row, int column, std::wstring_view text) {
  std::wstring copy(text);
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = copy.data();
  SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

std::wstring Cell(HWND list, int row, int column, int capacity) {
  std::wstring text(static_cast<size_t>(capacity), L'\0');
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = text.data();
  item.cchTextMax = capacity;
  const auto length = SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  text.resize(static_cast<size_t>(length));
  return text;
}

// Right click: every row's name (and position) as one quoted ANSI line.
void CopyNamesToClipboard(HWND list) {
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  std::vector<ObjectClipboardRow> rows;
  rows.reserve(static_cast<size_t>(count));
  for (int row = 0; row < count; ++row) {
    rows.push_back({AsUtf16(Cell(list, row, kName, kNameBuffer)), AsUtf16(Cell(list, row, kX, kCoordinateBuffer)),
                    AsUtf16(Cell(list, row, kY, kCoordinateBuffer))});
  }
  std::string ansi = Utf16ToAnsi(ObjectClipboardText(rows));
  // The length handed over counts the converted text's terminator.
  PutTextOnClipboard(ansi.c_str(), static_cast<int32_t>(ansi.size() + 1));
}

LRESULT CALLBACK ListSubclassProc(HWND list, UINT message, WPARAM wparam, LPARAM lparam) {
  return GuardBoundary(LRESULT{0}, [&]() -> LRESULT {
    switch (message) {
      case WM_RBUTTONDOWN:
        // Not passed on: the press neither selects a row nor notifies the dialog.
        CopyNamesToClipboard(list);
        return 0;
      case WM_MOUSEMOVE:
      case WM_NCMOUSEMOVE:
        ForwardMouseMove(MonitorOwner(GetParent(list)), message, wparam, lparam);
        return 0;
      default:
        return g_objectList.list.CallPrevious(list, message, wparam, lparam);
    }
  });
}

void OnInitDialog(HWND dialog) {
  HWND list = ListOf(dialog);
  for (int index = 0; index < static_cast<int>(std::size(kColumns)); ++index) {
    std::wstring title = kColumns[index].title;
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = kColumns[index].width;
    column.pszText = title.data();
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
  }
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  PlaceBesideOwner(dialog, kWindowWidth);
  g_objectList.list.Restore();
  g_objectList.list.Install(list, ListSubclassProc);
}

void OnDestroy() { g_objectList.list.Restore(); }

void OnSize(HWND dialog, LPARAM lparam) {
  MoveControl(dialog, IDC_OBJECT_LIST, 0, 0, SizeWidth(lparam), SizeHeight(lparam));
}

void AddObject(HWND list, const COPYDATASTRUCT& data) {
  constexpr DWORD kWithoutPosition = offsetof(ObjectEntry, x);
  if (!data.lpData || data.cbData < kWithoutPosition) return;
  const auto& entry = *static_cast<const ObjectEntry*>(data.lpData);
  std::wstring number = std::to_wstring(entry.number);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = entry.number;
  item.pszText = number.data();
  // The control clamps the position to its row count; the remaining cells go
  // to the row it really inserted, so an object numbered past the end still
  // shows its name, type and state.
  const int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  if (row < 0) return;
  SetCell(list, row, kName, entry.name ? entry.name : L"");
  SetCell(list, row, kType, AsWide(ObjectTypeName(entry.type)));
  SetCell(list, row, kState, AsWide(ObjectStateText(entry.state)));
  if (data.cbData >= sizeof(ObjectEntry)) {
    SetCell(list, row, kX, std::to_wstring(entry.x));
    SetCell(list, row, kY, std::to_wstring(entry.y));
  }
}

void OnCopyData(HWND dialog, const COPYDATASTRUCT* data) {
  if (!data) return;
  switch (data->dwData) {
    case VN_CLEAR_OBJECTS: SendMessageW(ListOf(dialog), LVM_DELETEALLITEMS, 0, 0); break;
    case VN_ADD_OBJECT: AddObject(ListOf(dialog), *data); break;
    default: break;
  }
}

}  // namespace

INT_PTR CALLBACK ObjectListDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  GuardBoundary([&] {
    switch (message) {
      case WM_INITDIALOG: OnInitDialog(dialog); break;
      case WM_DESTROY: OnDestroy(); break;
      case WM_SIZE: OnSize(dialog, lparam); break;
      case WM_COPYDATA: OnCopyData(dialog, reinterpret_cast<const COPYDATASTRUCT*>(lparam)); break;
      default: HandleSharedMonitorMessage(dialog, message, wparam, lparam); break;
    }
  });
  return 0;
}

}  // namespace vnscope
