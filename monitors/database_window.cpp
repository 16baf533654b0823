// The database monitor (dialog 113): the tables of the engine's database tree
// in a selector, the chosen one as a grid. The tree stays the engine's; the
// monitor keeps addresses into it until the next LoadDatabase.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <map>
#include <string>

#include "monitors/monitor_window.h"
#include "include/vnscope.h"
#include "monitors/database_tree.h"
#include "monitors/grid_texts.h"
#include "monitors/monitor_dialogs.h"
#include "resources/resource.h"
#include "win32/boundary_guard.h"
#include "win32/win32_text.h"

namespace vnscope {
namespace {

constexpr int kWindowWidth = 320;
constexpr int kSelectorHeight = 20;
constexpr int kTitleColumnWidth = 120;
constexpr int kValueColumnWidth = 60;
constexpr DWORD kGridExtendedStyles = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;  // 0x21
constexpr wchar_t kNotADatabase[] = L"処理可能なDBではありません。";

// The tree as it lies in the engine's memory: the DLL shares the engine's
// 32-bit address space, so an address is a pointer.
class EngineMemory : public DatabaseMemory {
 public:
  bool Read(NodeAddress address, void* out, size_t size) const override {
    if (address == 0) return false;
    std::memcpy(out, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), size);
    return true;
  }
  bool ReadText(NodeAddress address, size_t maxBytes, std::string* text) const override {
    if (address == 0) return false;
    const char* start = reinterpret_cast<const char*>(static_cast<uintptr_t>(address));
    const size_t length = strnlen(start, maxBytes + 1);
    if (length > maxBytes) return false;
    text->assign(start, length);
    return true;
  }
};

bool DecodeUtf8(std::string_view utf8, std::u16string* out) { return Utf8ToUtf16(utf8, out); }

// TableMap and the shown table: one database monitor per process.
struct DatabaseState {
  std::map<std::u16string, NodeAddress> tables;  // selector entry -> table node
  NodeAddress shownData = 0;                     // first column of the shown "data"
  size_t shownColumns = 0;                       // value columns in the grid
  size_t shownRows = 0;                          // rows in the grid, the cut line not counted
  GridTexts shownTexts;                          // what the cells show
};
DatabaseState g_database;

// The grid's last line when a table is larger than the grid shows.
constexpr char16_t kTableCut[] = u"（表が大きすぎるため、ここまでを表示しています）";

// Each operation walks with a fresh read budget.
DatabaseWalker Walker() {
  static const EngineMemory memory;
  return DatabaseWalker(memory, DecodeUtf8);
}

HWND GridOf(HWND dialog) { return GetDlgItem(dialog, IDC_TABLE_GRID); }
HWND SelectorOf(HWND dialog) { return GetDlgItem(dialog, IDC_TABLE_SELECTOR); }
wchar_t* Wide(std::u16string& text) { return reinterpret_cast<wchar_t*>(text.data()); }

void ClearGrid(HWND grid) {
  ListView_DeleteAllItems(grid);
  // Bounded by the failure of the call, so a control that refuses cannot loop.
  while (ListView_DeleteColumn(grid, 0)) {
  }
}

void AddGridColumn(HWND grid, int index, std::u16string title, int width) {
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.fmt = LVCFMT_LEFT;
  column.cx = width;
  column.pszText = Wide(title);
  column.iSubItem = index;
  ListView_InsertColumn(grid, index, &column);
}

void AddGridRow(HWND grid, int row, std::u16string text) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = Wide(text);
  ListView_InsertItem(grid, &item);
}

// Once, below the rows shown: the table goes on past them.
void ShowCutLine(HWND grid) {
  if (static_cast<size_t>(ListView_GetItemCount(grid)) != g_database.shownRows) return;
  AddGridRow(grid, static_cast<int>(g_database.shownRows), kTableCut);
}

// Only the cells whose text changed are given to the grid. Cells the walk
// could not reach keep the texts they had; the cut line says the table goes on.
void RefreshCells(HWND grid) {
  if (g_database.shownData == 0) return;
  GridTexts& texts = g_database.shownTexts;
  texts.BeginReading();
  const bool whole = Walker().VisitCells(
      g_database.shownData, g_database.shownColumns, g_database.shownRows,
      [grid, &texts](size_t c, size_t r, std::u16string_view text) {
        if (!texts.Record(c, r, text)) return;
        std::u16string copy(text);
        ListView_SetItemText(grid, static_cast<int>(r), static_cast<int>(c + 1), Wide(copy));
      });
  if (!whole) ShowCutLine(grid);
}

// The grid is filled without repainting: a large table then costs its
// texts, not a repaint for each of them.
void ShowTable(HWND dialog, NodeAddress table) {
  HWND grid = GridOf(dialog);
  SendMessageW(grid, WM_SETREDRAW, FALSE, 0);
  ClearGrid(grid);
  TableLayout layout = Walker().LayOutTable(table);
  AddGridColumn(grid, 0, layout.title, kTitleColumnWidth);
  for (size_t i = 0; i < layout.columns.size(); ++i) {
    AddGridColumn(grid, static_cast<int>(i + 1), layout.columns[i], kValueColumnWidth);
  }
  ListView_SetItemCount(grid, static_cast<int>(layout.rowHeadings.size() + 1));
  for (size_t r = 0; r < layout.rowHeadings.size(); ++r) {
    AddGridRow(grid, static_cast<int>(r), std::move(layout.rowHeadings[r]));
  }
  g_database.shownData = layout.data;
  g_database.shownColumns = layout.columns.size();
  g_database.shownRows = layout.rowHeadings.size();
  g_database.shownTexts.Clear();
  if (layout.cut) ShowCutLine(grid);
  RefreshCells(grid);
  SendMessageW(grid, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(grid, nullptr, TRUE);
}

void OnLoadDatabase(HWND dialog, const void* root) {
  if (!root) return;
  SendMessageW(SelectorOf(dialog), CB_RESETCONTENT, 0, 0);
  g_database = DatabaseState{};
  ClearGrid(GridOf(dialog));
  DatabaseListing listing = Walker().ListTables(static_cast<NodeAddress>(reinterpret_cast<uintptr_t>(root)));
  if (!listing.isObject) {
    MessageBoxW(dialog, kNotADatabase, nullptr, MB_OK);
    return;
  }
  if (listing.name) SetWindowTextW(dialog, Wide(*listing.name));
  for (TableEntry& entry : listing.tables) {
    SendMessageW(SelectorOf(dialog), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(entry.text)));
    // Equal entry texts keep both selector lines; both show the later table.
    g_database.tables[entry.text] = entry.table;
  }
}

void OnSelectTable(HWND dialog) {
  HWND selector = SelectorOf(dialog);
  const LRESULT index = SendMessageW(selector, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return;
  const LRESULT length = SendMessageW(selector, CB_GETLBTEXTLEN, index, 0);
  if (length == CB_ERR) return;
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  // Both answers are checked: a control that refuses the text the second
  // time answers CB_ERR, which as a size would be 4 GiB.
  const LRESULT copied = SendMessageW(selector, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
  if (copied < 0 || copied > length) return;
  text.resize(static_cast<size_t>(copied));
  const auto found = g_database.tables.find(AsUtf16(text));
  ShowTable(dialog, found == g_database.tables.end() ? 0 : found->second);
}

// --- messages ---------------------------------------------------------------------

// Down the left edge of the desktop work area.
void OnInitDialog(HWND dialog) {
  ListView_SetExtendedListViewStyleEx(GridOf(dialog), 0, kGridExtendedStyles);
  RECT work;
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) return;
  MoveWindow(dialog, work.left, work.top, kWindowWidth, work.bottom - work.top, TRUE);
}

void OnSize(HWND dialog, LPARAM lparam) {
  const int w = SizeWidth(lparam);
  MoveControl(dialog, IDC_TABLE_SELECTOR, 0, 0, w, kSelectorHeight);
  MoveControl(dialog, IDC_TABLE_GRID, 0, kSelectorHeight, w, SizeHeight(lparam) - kSelectorHeight);
}

void OnCopyData(HWND dialog, const COPYDATASTRUCT* data) {
  if (!data) return;
  switch (data->dwData) {
    case VN_LOAD_DATABASE: OnLoadDatabase(dialog, data->lpData); break;
    case VN_REFRESH_DATABASE: RefreshCells(GridOf(dialog)); break;
    default: break;
  }
}

void OnCommand(HWND dialog, WPARAM wparam) {
  if (LOWORD(wparam) == IDC_TABLE_SELECTOR && HIWORD(wparam) == CBN_SELCHANGE) OnSelectTable(dialog);
}

// The engine may free its tree once the monitors are destroyed: a monitor
// made again must not read it on a RefreshDatabase before the next load.
void OnDestroy() { g_database = DatabaseState{}; }

}  // namespace

INT_PTR CALLBACK DatabaseDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  GuardBoundary([&] {
    switch (message) {
      case WM_INITDIALOG: OnInitDialog(dialog); break;
      case WM_SIZE: OnSize(dialog, lparam); break;
      case WM_COPYDATA: OnCopyData(dialog, reinterpret_cast<const COPYDATASTRUCT*>(lparam)); break;
      case WM_COMMAND: OnCommand(dialog, wparam); break;
      case WM_DESTROY: OnDestroy(); break;
      default: HandleSharedMonitorMessage(dialog, message, wparam, lparam); break;
    }
  });
  return 0;
}

}  // namespace vnscope
