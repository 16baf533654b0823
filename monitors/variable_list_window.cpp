// The variable list monitor (dialog 101): a virtual list view over the
// variable store, groups toggled by double-click, values edited in place.
#include <algorithm>
#include <cwchar>
#include <optional>

#include "monitors/monitor_window.h"
#include "include/vnscope.h"
#include "monitors/monitor_dialogs.h"
#include "monitors/variable_list_window.h"
#include "win32/boundary_guard.h"
#include "win32/module.h"
#include "win32/win32_text.h"

namespace vnscope {
namespace {

constexpr int kWindowWidth = 250;
constexpr DWORD kListExtendedStyles = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;  // 0x21
constexpr int kStateImageWidth = 9;
constexpr int kStateImageHeight = 12;
constexpr int kStateImageCount = 4;
constexpr int kEditorTextUnits = 128;  // with the terminator, as in the VariableEdited record

struct ListColumn {
  const wchar_t* title;
  int width;
};
constexpr ListColumn kColumns[] = {{L"変数名", 120}, {L"値", 60}, {L"対応Reg", 60}};

// What the engine receives when the tester has typed a value.
struct VariableEditedRecord {
  wchar_t text[kEditorTextUnits];  // as typed, at most 127 units
  wchar_t name[kEditorTextUnits];  // the variable's full name, cut at 127 units
};
static_assert(sizeof(VariableEditedRecord) == 512, "VariableEdited is 512 bytes");

// Grouping compares name prefixes as the system locale does.
// Identical units always compare equal, which spares the locale call for
// nearly every member of a group.
bool LocalePrefixEquals(std::u16string_view a, std::u16string_view b) {
  if (a == b) return true;
  return CompareStringW(LOCALE_SYSTEM_DEFAULT, 0, reinterpret_cast<const wchar_t*>(a.data()),
                        static_cast<int>(a.size()), reinterpret_cast<const wchar_t*>(b.data()),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

VariableListState g_variables{.store = VariableStore(LocalePrefixEquals)};

std::u16string_view EngineText(const wchar_t* text) {
  return std::u16string_view(reinterpret_cast<const char16_t*>(text), std::wcslen(text));
}

// The style bit, not IsWindowVisible: the monitor itself may be hidden.
bool EditorShown(HWND editor) { return (GetWindowLongW(editor, GWL_STYLE) & WS_VISIBLE) != 0; }

void SetRowCount(HWND list) {
  ListView_SetItemCountEx(list, static_cast<int>(g_variables.store.VisibleRowCount()), LVSICF_NOINVALIDATEALL);
}

void AttachStateImages(HWND list) {
  HIMAGELIST images = ImageList_Create(kStateImageWidth, kStateImageHeight, ILC_COLOR, kStateImageCount, 0);
  HBITMAP glyphs = LoadBitmapW(ModuleInstance(), MAKEINTRESOURCEW(IDB_STATE_GLYPHS));
  if (images && glyphs) ImageList_AddMasked(images, glyphs, RGB(0, 0, 0));
  if (glyphs) DeleteObject(glyphs);
  // The list view owns the image list from here and destroys it with itself.
  if (images) ListView_SetImageList(list, images, LVSIL_STATE);
}

// --- the in-place editor ---------------------------------------------------------

// Stores the typed text's value and tells the engine, from the editor.
void StoreTypedValue(HWND editor, int32_t position, const VariableEditedRecord& typed) {
  if (!g_variables.store.SetValue(position, EngineText(typed.text))) return;
  VariableEditedRecord record = typed;
  const Variable* target = g_variables.store.VariableAt(position);
  const std::wstring name = AsWide(target->name.substr(0, kEditorTextUnits - 1));
  std::wmemcpy(record.name, name.c_str(), name.size());
  HWND dialog = GetParent(editor);
  COPYDATASTRUCT data{VN_VARIABLE_EDITED, sizeof(record), &record};
  SendMessageW(MonitorOwner(dialog), WM_COPYDATA, reinterpret_cast<WPARAM>(editor),
               reinterpret_cast<LPARAM>(&data));
  InvalidateRect(ListOf(dialog), nullptr, TRUE);
}

void CommitEdit(HWND editor) {
  // Hidden first: the focus leaving it must not commit a second time.
  ShowWindow(editor, SW_HIDE);
  VariableEditedRecord record{};
  GetWindowTextW(editor, record.text, kEditorTextUnits);
  if (!g_variables.editTarget) return;
  StoreTypedValue(editor, *g_variables.editTarget, record);
}

LRESULT CALLBACK EditorProc(HWND editor, UINT message, WPARAM wparam, LPARAM lparam) {
  return GuardBoundary(LRESULT{0}, [&]() -> LRESULT {
    if (message == WM_KEYDOWN && wparam == VK_RETURN && EditorShown(editor)) {
      CommitEdit(editor);
      return 0;
    }
    return g_variables.editor.CallPrevious(editor, message, wparam, lparam);
  });
}

// Over the value cell of `item`, pre-filled with what the list shows.
void OpenEditor(HWND dialog, HWND list, int item, int32_t position) {
  RECT label, valueCell;
  if (!ListView_GetItemRect(list, item, &label, LVIR_LABEL)) return;
  // The value cell's own left edge, which stays right when the list is
  // scrolled sideways.
  if (!ListView_GetSubItemRect(list, item, 1, LVIR_BOUNDS, &valueCell)) return;
  POINT origin{valueCell.left, label.top};
  MapWindowPoints(list, dialog, &origin, 1);
  g_variables.editTarget = position;
  wchar_t text[kEditorTextUnits] = {};
  ListView_GetItemText(list, item, 1, text, kEditorTextUnits);
  HWND editor = GetDlgItem(dialog, IDC_VALUE_EDITOR);
  // Above the list in the z-order, or the list would paint over it.
  SetWindowPos(editor, HWND_TOP, origin.x, origin.y, ListView_GetColumnWidth(list, 1),
               label.bottom - label.top - 1, 0);
  SetWindowTextW(editor, text);
  SetFocus(editor);
  SendMessageW(editor, EM_SETSEL, 0, -1);
  ShowWindow(editor, SW_SHOW);
}

// The label of column 0, or one of the cells right of it, holds the cursor.
// The state image left of the label does not count.
bool CursorInRowCells(HWND list, const RECT& label, POINT cursor) {
  if (cursor.y < label.top || cursor.y >= label.bottom) return false;
  if (cursor.x >= label.left && cursor.x < label.right) return true;
  int left = label.right;
  for (int column = 1; column < static_cast<int>(std::size(kColumns)); ++column) {
    const int right = left + ListView_GetColumnWidth(list, column);
    if (cursor.x >= left && cursor.x < right) return true;
    left = right;
  }
  return false;
}

// --- messages ---------------------------------------------------------------------

void OnInitDialog(HWND dialog) {
  HWND list = ListOf(dialog);
  for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = kColumns[i].width;
    column.pszText = const_cast<wchar_t*>(kColumns[i].title);
    column.iSubItem = i;
    ListView_InsertColumn(list, i, &column);
  }
  ListView_SetExtendedListViewStyleEx(list, 0, kListExtendedStyles);
  // The editor sits over the list: the list must not paint into it.
  SetWindowLongW(list, GWL_STYLE, GetWindowLongW(list, GWL_STYLE) | WS_CLIPSIBLINGS);
  AttachStateImages(list);
  PlaceBesideOwner(dialog, kWindowWidth);
  g_variables.editor.Install(GetDlgItem(dialog, IDC_VALUE_EDITOR), EditorProc);
  InstallFindBox(dialog);
  InstallValueTips(dialog);
  // A window made again after DestroyMonitors shows the variables it had
  // (and no filter: the find box starts hidden).
  g_variables.store.SetFilter(u"");
  SetRowCount(list);
}

// The list fills the client area (below the find box while it is shown);
// the hidden value editor keeps its place.
void OnSize(HWND dialog, LPARAM lparam) { LayOutVariableList(dialog, SizeWidth(lparam), SizeHeight(lparam)); }

void OnAddVariableName(const VariableMessage* record) {
  if (!record || !record->text) return;
  g_variables.store.AddName(EngineText(record->text));
}

void OnSetVariableValue(HWND dialog, const VariableMessage* record) {
  if (!record || !record->text) return;
  ReceiveEngineValue(dialog, record->position, EngineText(record->text));
}

// The register map is read where the engine keeps it: a copy would be
// sized from cbData, which an engine may get wrong by gigabytes.
void OnCommitVariables(HWND dialog, const COPYDATASTRUCT& data) {
  const bool rebuild = !g_variables.store.table().empty();
  g_variables.store.CommitRecord(HostRecord(data));
  RestoreWatchFile();
  // The old table is gone: an editor left open must not write into the new one.
  g_variables.editTarget.reset();
  HWND list = ListOf(dialog);
  SetRowCount(list);
  if (rebuild || g_variables.store.Filtering() || !g_variables.store.WatchNames().empty()) {
    InvalidateRect(list, nullptr, TRUE);
  }
}

void OnCopyData(HWND dialog, const COPYDATASTRUCT* data) {
  if (!data) return;
  const auto* record = static_cast<const VariableMessage*>(data->lpData);
  switch (data->dwData) {
    case VN_ADD_VARIABLE_NAME: OnAddVariableName(record); break;
    case VN_SET_VARIABLE_VALUE: OnSetVariableValue(dialog, record); break;
    case VN_COMMIT_VARIABLES: OnCommitVariables(dialog, *data); break;
    default: break;
  }
}

void OnGetDispInfo(NMLVDISPINFOW* request) {
  LVITEMW& item = request->item;
  if (!(item.mask & LVIF_TEXT) || item.iItem < 0) return;
  const std::optional<VariableCell> cell = g_variables.store.Cell(static_cast<size_t>(item.iItem), item.iSubItem);
  if (!cell) return;
  if (cell->stateImage != 0) {
    item.mask |= LVIF_STATE;
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(static_cast<UINT>(cell->stateImage));
  }
  CopyToTextBuffer(cell->text, item.pszText, item.cchTextMax);
}

void OnItemActivate(HWND dialog) {
  HWND list = ListOf(dialog);
  const int item = ListView_GetNextItem(list, -1, LVNI_SELECTED);
  if (item < 0) return;
  const std::optional<VisibleRow> at = g_variables.store.RowAt(static_cast<size_t>(item));
  if (!at) return;
  POINT cursor;
  GetCursorPos(&cursor);
  ScreenToClient(list, &cursor);
  RECT label;
  if (!ListView_GetItemRect(list, item, &label, LVIR_LABEL) || !CursorInRowCells(list, label, cursor)) return;
  const VariableRow& row = g_variables.store.Row(*at);
  if (IsGroup(row)) {
    g_variables.store.Toggle(at->top);
    ShowRows(dialog);
    return;
  }
  OpenEditor(dialog, list, item, row.index);
}

// Ctrl+F on the list opens the find box.
void OnListKeyDown(HWND dialog, const NMLVKEYDOWN* key) {
  if (key->wVKey == 'F' && GetKeyState(VK_CONTROL) < 0) OpenFindBox(dialog);
}

// The answer when the message has one (custom draw), none otherwise.
std::optional<LRESULT> OnNotify(HWND dialog, NMHDR* header) {
  if (!header) return std::nullopt;
  if (header->hwndFrom == g_variables.tips && header->code == TTN_GETDISPINFOW) {
    OnTipText(reinterpret_cast<NMTTDISPINFOW*>(header));
    return std::nullopt;
  }
  if (header->idFrom != IDC_VARIABLE_LIST) return std::nullopt;
  switch (header->code) {
    case LVN_GETDISPINFOW: OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(header)); break;
    case LVN_ITEMACTIVATE: OnItemActivate(dialog); break;
    case LVN_KEYDOWN: OnListKeyDown(dialog, reinterpret_cast<NMLVKEYDOWN*>(header)); break;
    case NM_CUSTOMDRAW: return OnListCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
    default: break;
  }
  return std::nullopt;
}

// Moving the focus away commits like Enter; there is no cancel.
void OnEditorKillFocus(HWND dialog) {
  HWND editor = GetDlgItem(dialog, IDC_VALUE_EDITOR);
  if (EditorShown(editor)) SendMessageW(editor, WM_KEYDOWN, VK_RETURN, 0);
}

// Controls' notifications and the context menu's commands, which the
// engine may send as well.
void OnCommand(HWND dialog, WPARAM wparam) {
  const int id = LOWORD(wparam);
  const int code = HIWORD(wparam);
  switch (id) {
    case IDC_VALUE_EDITOR:
      if (code == EN_KILLFOCUS) OnEditorKillFocus(dialog);
      break;
    case IDC_VARIABLE_FIND:
      if (code == EN_CHANGE) OnFindBoxChange(dialog);
      break;
    case VN_FIND_VARIABLE: OpenFindBox(dialog); break;
    case VN_ADD_WATCH:
    case VN_REMOVE_WATCH: OnWatchCommand(dialog, id); break;
    case VN_CLEAR_CHANGES: ClearChangeHighlights(dialog); break;
    default: break;
  }
}

void OnDestroy(HWND dialog) {
  g_variables.editor.Restore();
  g_variables.findBox.Restore();
  RemoveValueTips();
  KillTimer(dialog, kHighlightTimerId);
  g_variables.highlightTimer = false;
}

}  // namespace

VariableListState& VariableList() { return g_variables; }

void TypeVariableValue(HWND dialog, int32_t position, std::u16string_view typed) {
  HWND editor = GetDlgItem(dialog, IDC_VALUE_EDITOR);
  if (!editor) return;
  // What the editor would read back: at most 127 units, terminated.
  VariableEditedRecord record{};
  const std::wstring text = AsWide(typed.substr(0, kEditorTextUnits - 1));
  std::wmemcpy(record.text, text.c_str(), text.size());
  StoreTypedValue(editor, position, record);
}

void ShowRows(HWND dialog) {
  HWND list = ListOf(dialog);
  SetRowCount(list);
  InvalidateRect(list, nullptr, TRUE);
}

INT_PTR CALLBACK VariableListDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  return GuardBoundary(INT_PTR{0}, [&]() -> INT_PTR {
    switch (message) {
      case WM_INITDIALOG: OnInitDialog(dialog); break;
      case WM_SIZE: OnSize(dialog, lparam); break;
      case WM_COPYDATA: OnCopyData(dialog, reinterpret_cast<const COPYDATASTRUCT*>(lparam)); break;
      case WM_NOTIFY:
        // Custom draw answers through the dialog's message result.
        if (const auto result = OnNotify(dialog, reinterpret_cast<NMHDR*>(lparam))) {
          SetWindowLongPtrW(dialog, DWLP_MSGRESULT, *result);
          return TRUE;
        }
        break;
      case WM_COMMAND: OnCommand(dialog, wparam); break;
      case WM_CONTEXTMENU: OnVariableContextMenu(dialog, lparam); break;
      case WM_TIMER:
        if (wparam == kHighlightTimerId) OnHighlightTimer(dialog);
        break;
      case WM_DESTROY: OnDestroy(dialog); break;
      default: HandleSharedMonitorMessage(dialog, message, wparam, lparam); break;
    }
    return 0;
  });
}

}  // namespace vnscope
