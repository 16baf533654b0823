// The report dialog's sign of reports waiting in the outbox: one more item at
// the end of its menu bar, "送信待ち N件", there only while any wait.
#pragma once
#include <windows.h>

namespace vnscope {

// Counts the outbox again and adds, updates or removes the item.
void ShowWaitingReports(HWND dialog);

}  // namespace vnscope
