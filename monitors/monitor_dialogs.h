// Dialog procedures of the six monitor windows, created by CreateMonitors.
#pragma once
#include <windows.h>

namespace vnscope {

INT_PTR CALLBACK VariableListDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK ObjectListDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK OtherInfoDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK ExecutionLogDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK PreviewDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK DatabaseDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace vnscope
