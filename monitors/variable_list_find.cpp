// The variable list's find box (edit 1030): shown across the top by Ctrl+F or
// the "検索" command, it filters the list on every keystroke; Esc or an empty
// box hides it and brings every row back as it was.
#include <string>

#include "monitors/variable_list_window.h"
#include "win32/boundary_guard.h"
#include "win32/win32_text.h"

namespace vnscope {
namespace {

// One line of the dialog's font, in dialog units as an edit in a template.
constexpr int kFindBoxHeightUnits = 12;

HWND FindBoxOf(HWND dialog) { return GetDlgItem(dialog, IDC_VARIABLE_FIND); }

// The style bit, not IsWindowVisible: the monitor itself may be hidden.
bool FindBoxShown(HWND box) { return (GetWindowLongW(box, GWL_STYLE) & WS_VISIBLE) != 0; }

int FindBoxHeight(HWND dialog) {
  RECT units{0, 0, 0, kFindBoxHeightUnits};
  MapDialogRect(dialog, &units);
  return units.bottom;
}

void LayOutClientArea(HWND dialog) {
  RECT client;
  GetClientRect(dialog, &client);
  LayOutVariableList(dialog, client.right, client.bottom);
}

// The engine's message loop does not call IsDialogMessage, so Esc reaches
// the box as a key press and then as its character.
LRESULT CALLBACK FindBoxProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  return GuardBoundary(LRESULT{0}, [&]() -> LRESULT {
    if (message == WM_KEYDOWN && wparam == VK_ESCAPE) {
      CloseFindBox(GetParent(box));
      return 0;
    }
    // Swallowed: an edit control beeps at characters it cannot insert.
    if (message == WM_CHAR && (wparam == VK_ESCAPE || wparam == VK_RETURN)) return 0;
    return VariableList().findBox.CallPrevious(box, message, wparam, lparam);
  });
}

// Rows are addressed by position: a selection would point at another
// variable once the rows change under it.
void ClearSelection(HWND list) {
  LVITEMW none{};
  none.stateMask = LVIS_SELECTED;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
}

}  // namespace

void InstallFindBox(HWND dialog) { VariableList().findBox.Install(FindBoxOf(dialog), FindBoxProc); }

void LayOutVariableList(HWND dialog, int width, int height) {
  HWND box = FindBoxOf(dialog);
  const int top = FindBoxShown(box) ? FindBoxHeight(dialog) : 0;
  if (top > 0) MoveWindow(box, 0, 0, width, top, TRUE);
  MoveWindow(ListOf(dialog), 0, top, width, height > top ? height - top : 0, TRUE);
}

void OpenFindBox(HWND dialog) {
  HWND box = FindBoxOf(dialog);
  if (!FindBoxShown(box)) {
    ShowWindow(box, SW_SHOW);
    LayOutClientArea(dialog);
  }
  SetFocus(box);
  SendMessageW(box, EM_SETSEL, 0, -1);
}

void CloseFindBox(HWND dialog) {
  HWND box = FindBoxOf(dialog);
  VariableListState& state = VariableList();
  // Emptying the box below notifies EN_CHANGE, which comes back here.
  if (!FindBoxShown(box) && !state.store.Filtering()) return;
  const bool focused = GetFocus() == box;
  ShowWindow(box, SW_HIDE);
  state.store.SetFilter(u"");
  SetWindowTextW(box, L"");
  LayOutClientArea(dialog);
  HWND list = ListOf(dialog);
  ClearSelection(list);
  ShowRows(dialog);
  if (focused) SetFocus(list);
}

void OnFindBoxChange(HWND dialog) {
  HWND box = FindBoxOf(dialog);
  const int length = GetWindowTextLengthW(box);
  if (length == 0) return CloseFindBox(dialog);
  // Text put in from outside (an engine's WM_SETTEXT) shows the box too, so
  // that a filtered list always says what it is filtered by.
  if (!FindBoxShown(box)) {
    ShowWindow(box, SW_SHOW);
    LayOutClientArea(dialog);
  }
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(box, text.data(), length + 1)));
  VariableList().store.SetFilter(AsUtf16(text));
  ClearSelection(ListOf(dialog));
  ShowRows(dialog);
}

}  // namespace vnscope
