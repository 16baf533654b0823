// The variable list's context menu and its watch commands. The commands act
// on the list's focused row and arrive as WM_COMMAND whether the menu or the
// engine sends them; the watch list is written to its file on every change.
#include <windowsx.h>

#include <optional>

#include "monitors/variable_list_window.h"
#include "monitors/watch_file.h"
#include "win32/unique_handle.h"

namespace vnscope {
namespace {

struct MenuItem {
  int command;
  const wchar_t* caption;
};
constexpr MenuItem kMenuItems[] = {
    {VN_FIND_VARIABLE, L"検索\tCtrl+F"},
    {VN_ADD_WATCH, L"ウォッチに追加"},
    {VN_REMOVE_WATCH, L"ウォッチから外す"},
    {VN_CLEAR_CHANGES, L"変更の強調を消す"},
};

// The variable of the list's focused row; none on a group row or without one.
std::optional<int32_t> FocusedVariable(HWND dialog) {
  const int item = ListView_GetNextItem(ListOf(dialog), -1, LVNI_FOCUSED);
  if (item < 0) return std::nullopt;
  return VariableList().store.VariableOfRow(static_cast<size_t>(item));
}

UniqueMenu BuildMenu(HWND dialog) {
  UniqueMenu menu(CreatePopupMenu());
  if (!menu) return menu;
  const std::optional<int32_t> variable = FocusedVariable(dialog);
  const bool watched = variable && VariableList().store.Watched(*variable);
  for (const MenuItem& item : kMenuItems) {
    const bool enabled = (item.command != VN_ADD_WATCH || variable) && (item.command != VN_REMOVE_WATCH || watched);
    AppendMenuW(menu.get(), MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), item.command, item.caption);
  }
  return menu;
}

}  // namespace

void OnVariableContextMenu(HWND dialog, LPARAM screenPoint) {
  HWND list = ListOf(dialog);
  POINT at{GET_X_LPARAM(screenPoint), GET_Y_LPARAM(screenPoint)};
  // From the keyboard (Shift+F10, the menu key): below the focused row.
  if (screenPoint == -1) {
    RECT row{};
    const int item = ListView_GetNextItem(list, -1, LVNI_FOCUSED);
    if (item < 0 || !ListView_GetItemRect(list, item, &row, LVIR_LABEL)) GetClientRect(list, &row);
    at = {row.left, row.bottom};
    ClientToScreen(list, &at);
  }
  UniqueMenu menu = BuildMenu(dialog);
  if (menu) TrackPopupMenu(menu.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, dialog, nullptr);
}

void OnWatchCommand(HWND dialog, int command) {
  const std::optional<int32_t> variable = FocusedVariable(dialog);
  if (!variable) return;
  VariableStore& store = VariableList().store;
  const size_t watchRowsBefore = store.WatchRowCount();
  const bool changed = command == VN_ADD_WATCH ? store.AddWatch(*variable) : store.RemoveWatch(*variable);
  if (!changed) return;
  // Without a file the list still holds for this run.
  WriteWatchFile(store.WatchNames());
  ShowRows(dialog);
  // The rows below the watch group moved with it: the focus stays on the
  // row the tester chose.
  HWND list = ListOf(dialog);
  const int item = ListView_GetNextItem(list, -1, LVNI_FOCUSED);
  if (item >= static_cast<int>(watchRowsBefore)) {
    const int moved = item - static_cast<int>(watchRowsBefore) + static_cast<int>(store.WatchRowCount());
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(list, moved, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(list, moved, FALSE);
  }
}

void RestoreWatchFile() {
  if (auto names = ReadWatchFile()) VariableList().store.RestoreWatches(*names);
}

}  // namespace vnscope
