// The outbox's sender: a thread of the library's own that sends the waiting
// reports to the report server, oldest first, when it is told to and once a
// minute while any wait. It never touches a window and never makes the
// engine's thread wait; while the outbox is empty no thread runs.
//
// The thread holds a reference on the library for as long as it runs and
// ends with FreeLibraryAndExitThread, so the library cannot be unmapped under
// it: nothing has to wait for it at DestroyMonitors or inside the entry
// point, where the loader lock would make such a wait a deadlock.
#pragma once
#include <windows.h>

namespace vnscope {

// Sends what waits now: the monitors were created, or a report went out.
void SendOutboxNow();

// A report has just entered the outbox: try again once the retry interval
// (limits::kOutboxRetryMs) has passed, unless a try is due sooner.
void SendOutboxLater();

// Stops the sender (the engine is tearing the monitors down). Returns at
// once; an exchange under way is abandoned as soon as the thread sees the
// request, and its report stays for the next time.
void StopOutboxSender();

// The window told with kOutboxChanged whenever the sender has taken reports
// out of the outbox; null for none.
void WatchOutbox(HWND window);
inline constexpr UINT kOutboxChanged = WM_APP + 0x121;

// Tests that link the library directly shorten the retry interval; the DLL
// never calls it.
void SetOutboxRetryInterval(DWORD milliseconds);

}  // namespace vnscope
