#include "browser/browser_worker.h"

#include "win32/unique_handle.h"

namespace vnscope {
namespace {

// The one worker of the process; only the user interface thread starts,
// waits for and reaps it.
UniqueHandle& WorkerThread() {
  static UniqueHandle thread;
  return thread;
}

bool ThreadEnded(HANDLE thread) { return WaitForSingleObject(thread, 0) != WAIT_TIMEOUT; }

}  // namespace

bool StartBrowserWorker(LPTHREAD_START_ROUTINE function, void* argument) {
  UniqueHandle& worker = WorkerThread();
  if (worker) {
    if (!ThreadEnded(worker.get())) return false;
    worker.reset();
  }
  worker.reset(CreateThread(nullptr, 0, function, argument, 0, nullptr));
  return static_cast<bool>(worker);
}

bool BrowserWorkerIdle() {
  const UniqueHandle& worker = WorkerThread();
  return !worker || ThreadEnded(worker.get());
}

DWORD WaitForBrowserWorker(DWORD milliseconds, bool closeAlways) {
  UniqueHandle& worker = WorkerThread();
  if (!worker) return WAIT_OBJECT_0;
  const DWORD result = WaitForSingleObject(worker.get(), milliseconds);
  if (result != WAIT_TIMEOUT || closeAlways) worker.reset();
  return result;
}

}  // namespace vnscope
