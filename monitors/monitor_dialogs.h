// Dialog procedures of the six monitor windows, created by CreateMonitors.
#pragma once
#include <windows.h>

#include <string_view>

namespace vnscope {

INT_PTR CALLBACK VariableListDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK ObjectListDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK OtherInfoDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK ExecutionLogDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK PreviewDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK DatabaseDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// What the panel's JUMP sends when its combo box holds `label` (cut at 255
// units as the combo box's text is).
void JumpToLabel(HWND panel, std::u16string_view label);

}  // namespace vnscope
