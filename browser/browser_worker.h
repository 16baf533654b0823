// The report browser's worker: at most one background thread at a time runs
// a network exchange for the browser.
#pragma once
#include <windows.h>

namespace vnscope {

// Starts `function(argument)` on a new thread unless the previous worker is
// still running. A finished worker's handle is closed first. False when the
// previous one is busy or the thread cannot be started.
bool StartBrowserWorker(LPTHREAD_START_ROUTINE function, void* argument);

// True when no worker runs: none was started, or the last one has ended.
bool BrowserWorkerIdle();

// Waits up to `milliseconds` for the worker. Without a worker the result is
// 0 (WAIT_OBJECT_0) at once. The handle is closed and forgotten when the
// thread has ended, or whatever the wait gave when `closeAlways` is set.
DWORD WaitForBrowserWorker(DWORD milliseconds, bool closeAlways);

}  // namespace vnscope
