#include "report/outbox_sender.h"

#include <memory>
#include <mutex>

#include "report/outbox.h"
#include "report/protocol/limits.h"
#include "report/protocol/report_client.h"
#include "report/protocol/winsock_stream.h"
#include "report/report_server.h"
#include "win32/boundary_guard.h"
#include "win32/unique_handle.h"

namespace vnscope {
namespace {

// One sender thread and what it is asked to do. The thread and the module
// state share it; a stopped run is forgotten by the module at once and
// freed by its thread as it ends.
struct SenderRun {
  // Set once, for good: every wait of the thread, on the network too, ends.
  UniqueHandle stopped{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  UniqueHandle wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  // Guarded by the module state's lock:
  bool sendNow = false;
  ULONGLONG dueAt = 0;  // GetTickCount64 of the next timed try; 0 for none
};

struct OutboxSenderState {
  std::mutex lock;
  std::shared_ptr<SenderRun> running;  // the thread that takes requests; null when none runs
  HWND watcher = nullptr;
  DWORD retryMs = limits::kOutboxRetryMs;
};

OutboxSenderState& State() {
  static OutboxSenderState state;
  return state;
}

// What a new thread gets: its run and the reference on the library it holds.
struct Launch {
  std::shared_ptr<SenderRun> run;
  HMODULE module = nullptr;
};

bool Stopped(const SenderRun& run) { return WaitForSingleObject(run.stopped.get(), 0) == WAIT_OBJECT_0; }

void Schedule(SenderRun& run, ULONGLONG due) {
  if (run.dueAt == 0 || due < run.dueAt) run.dueAt = due;
}

// --- The thread -------------------------------------------------------------------------

// Waits until a try is asked for or due; false once the run is stopped.
bool WaitForTurn(SenderRun& run) {
  OutboxSenderState& state = State();
  for (;;) {
    DWORD timeout = INFINITE;
    {
      std::lock_guard guard(state.lock);
      if (Stopped(run)) return false;
      const ULONGLONG now = GetTickCount64();
      if (run.sendNow || (run.dueAt != 0 && now >= run.dueAt)) {
        run.sendNow = false;
        run.dueAt = 0;
        return true;
      }
      if (run.dueAt != 0) timeout = static_cast<DWORD>(run.dueAt - now);
    }
    const HANDLE waits[] = {run.wake.get(), run.stopped.get()};
    WaitForMultipleObjects(2, waits, FALSE, timeout);
  }
}

struct Pass {
  bool changed = false;  // a report left the outbox
  bool waiting = false;  // reports wait still
};

Pass SendWaitingReports(const SenderRun& run) {
  Pass pass;
  RemoveAbandonedWrites();
  const ServerEndpoint server = ReportServerEndpoint();
  for (const std::wstring& path : WaitingReports()) {
    if (Stopped(run)) break;
    // Gone since the listing, or another process's sender has it.
    std::optional<TakenReport> taken = TakenReport::Take(path);
    if (!taken) continue;
    WinsockStream stream(StreamTimeouts{}, run.stopped.get());
    const std::span<const uint8_t> package = taken->package();
    const SubmitResult sent =
        SubmitReport(stream, server, package.data(), static_cast<uint32_t>(package.size()));
    if (sent == SubmitResult::Stored) pass.changed |= taken->Delivered();
    if (sent == SubmitResult::Refused) pass.changed |= taken->Refused();
    // The rest would wait for the same connection in vain. A report whose
    // exchange broke off is no reason to hold back those behind it.
    if (sent == SubmitResult::NoServer) break;
  }
  pass.waiting = !WaitingReports().empty();
  return pass;
}

void TellWatcher() {
  OutboxSenderState& state = State();
  std::lock_guard guard(state.lock);
  if (state.watcher) PostMessageW(state.watcher, kOutboxChanged, 0, 0);
}

// After a pass: true when another is asked for or due. Otherwise the run
// leaves the module state, under the same lock as every request, so that a
// request either reaches this thread in time or starts another one.
bool KeepRunning(SenderRun& run, bool waiting) {
  OutboxSenderState& state = State();
  std::lock_guard guard(state.lock);
  if (Stopped(run)) return false;
  if (waiting) Schedule(run, GetTickCount64() + state.retryMs);
  if (run.sendNow || run.dueAt != 0) return true;
  if (state.running.get() == &run) state.running.reset();
  return false;
}

void RunSender(SenderRun& run) {
  while (WaitForTurn(run)) {
    const Pass pass = SendWaitingReports(run);
    if (pass.changed) TellWatcher();
    if (!KeepRunning(run, pass.waiting)) return;
  }
}

DWORD WINAPI SenderThread(void* parameter) {
  auto* launch = static_cast<Launch*>(parameter);
  const HMODULE module = launch->module;
  // A report that cannot be read into memory, say, waits for the next run.
  GuardBoundary([&] { RunSender(*launch->run); });
  delete launch;
  // Ends the thread outside the library, which may go with this reference.
  FreeLibraryAndExitThread(module, 0);
}

// Under the module state's lock.
std::shared_ptr<SenderRun> StartRun() {
  auto run = std::make_shared<SenderRun>();
  auto launch = std::make_unique<Launch>(Launch{run, nullptr});
  if (!run->wake || !run->stopped ||
      !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&SenderThread),
                          &launch->module)) {
    return nullptr;
  }
  const HMODULE module = launch->module;
  UniqueHandle thread(CreateThread(nullptr, 0, SenderThread, launch.get(), 0, nullptr));
  if (!thread) {
    FreeLibrary(module);
    return nullptr;
  }
  launch.release();  // the thread's now
  return run;
}

// `now`: a try at once; otherwise one after the retry interval.
void Request(bool now) {
  OutboxSenderState& state = State();
  std::lock_guard guard(state.lock);
  if (!state.running) state.running = StartRun();
  SenderRun* run = state.running.get();
  if (!run) return;  // no thread to be had: the next request tries again
  if (now) run->sendNow = true;
  else Schedule(*run, GetTickCount64() + state.retryMs);
  SetEvent(run->wake.get());
}

}  // namespace

void SendOutboxNow() { Request(true); }

void SendOutboxLater() { Request(false); }

void StopOutboxSender() {
  OutboxSenderState& state = State();
  std::lock_guard guard(state.lock);
  if (!state.running) return;
  SetEvent(state.running->stopped.get());
  state.running.reset();
}

void WatchOutbox(HWND window) {
  OutboxSenderState& state = State();
  std::lock_guard guard(state.lock);
  state.watcher = window;
}

void SetOutboxRetryInterval(DWORD milliseconds) {
  OutboxSenderState& state = State();
  std::lock_guard guard(state.lock);
  state.retryMs = milliseconds;
}

}  // namespace vnscope
