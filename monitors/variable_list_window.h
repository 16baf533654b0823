// The variable list monitor's window, spread over a few files by job: the
// dialog with its list and in-place editor (variable_list_window.cpp), the
// find box (variable_list_find.cpp), the context menu with the watch list
// (variable_list_menu.cpp) and the change highlights with the value tips
// (variable_list_changes.cpp). They share the module's one variable list.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string>
#include <string_view>

#include "include/vnscope.h"
#include "monitors/variable_store.h"
#include "resources/resource.h"
#include "win32/subclass.h"

namespace vnscope {

// The module's variables and the window's state: one variable list per
// process, living from load to unload whatever happens to the window.
struct VariableListState {
  VariableStore store;
  Subclass editor;    // in-place value editor 1008
  // Table position of the variable the editor was last opened on.
  std::optional<int32_t> editTarget;
  Subclass findBox;   // find box 1030: Esc closes it
  Subclass list;      // list view 1002: the pointer's moves, for the value tips
  HWND tips = nullptr;  // the value tooltip, destroyed with the dialog
  int tippedItem = -1;  // the row whose value cell the pointer is over
  std::wstring tipText;  // what the tooltip shows, kept while it does
  bool highlightTimer = false;
};
VariableListState& VariableList();

inline HWND ListOf(HWND dialog) { return GetDlgItem(dialog, IDC_VARIABLE_LIST); }

// What the in-place editor does when the tester types `typed` over the
// variable at table `position` and presses Enter: the value is stored and the
// engine gets VariableEdited from the editor. Nothing for a position outside
// the table.
void TypeVariableValue(HWND dialog, int32_t position, std::u16string_view typed);

// The list view learns the model's row count (without invalidating items)
// and is drawn again.
void ShowRows(HWND dialog);

// --- the find box (variable_list_find.cpp) ---
void InstallFindBox(HWND dialog);
void OpenFindBox(HWND dialog);
// Hides the box and shows every row again, groups as they were.
void CloseFindBox(HWND dialog);
void OnFindBoxChange(HWND dialog);
// Lays the find box (when shown) and the list out in the client area.
void LayOutVariableList(HWND dialog, int width, int height);

// --- the context menu and the watch list (variable_list_menu.cpp) ---
void OnVariableContextMenu(HWND dialog, LPARAM screenPoint);
void OnWatchCommand(HWND dialog, int command);
// After a commit: the watch file's names, read again.
void RestoreWatchFile();

// --- change highlights and value tips (variable_list_changes.cpp) ---
void InstallValueTips(HWND dialog);
void RemoveValueTips();
// SetVariableValue: stores the value with its arrival and keeps the
// highlight timer running.
void ReceiveEngineValue(HWND dialog, int32_t position, std::u16string_view text);
void ClearChangeHighlights(HWND dialog);
void OnHighlightTimer(HWND dialog);
LRESULT OnListCustomDraw(NMLVCUSTOMDRAW* draw);
void OnTipText(NMTTDISPINFOW* request);

inline constexpr UINT_PTR kHighlightTimerId = 1;

}  // namespace vnscope
