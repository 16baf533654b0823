#include "browser/browser_jobs.h"

#include <objbase.h>

#include <algorithm>
#include <mutex>
#include <utility>

#include "browser/browser_worker.h"
#include "browser/snapshot_opener.h"
#include "report/protocol/package_entry_names.h"
#include "report/protocol/system_ansi_codec.h"
#include "report/protocol/winsock_stream.h"
#include "win32/boundary_guard.h"

namespace vnscope {
namespace {

struct PendingResult {
  HWND browser;
  BrowserJobResult result;
};

// Results on their way from the worker to the browser's thread. Tagged by
// window, so that a result for a browser destroyed meanwhile is never taken
// by the next one.
struct ResultQueue {
  std::mutex lock;
  std::vector<PendingResult> pending;
};

ResultQueue& Results() {
  static ResultQueue queue;
  return queue;
}

void DropFor(HWND browser) {
  ResultQueue& queue = Results();
  std::lock_guard guard(queue.lock);
  std::erase_if(queue.pending, [browser](const PendingResult& p) { return p.browser == browser; });
}

// Shell launches may go through shell extensions, which want COM on the
// calling thread.
class ScopedCom {
 public:
  ScopedCom() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
  ~ScopedCom() {
    if (initialised_) CoUninitialize();
  }
  ScopedCom(const ScopedCom&) = delete;
  ScopedCom& operator=(const ScopedCom&) = delete;

 private:
  bool initialised_;
};

BrowserJobResult Run(const BrowserJob& job) {
  BrowserJobResult result;
  result.kind = job.kind;
  WinsockStream stream;
  switch (job.kind) {
    case BrowserJobKind::ListReports:
      result.succeeded = ListReports(stream, job.server, SystemAnsiCodec(), &result.records);
      break;
    case BrowserJobKind::FetchSnapshots: {
      ScopedCom com;
      result.succeeded = FetchSnapshots(stream, job.server, SystemAnsiCodec(), job.names,
                                        [&job](std::span<const uint8_t> png) {
                                          OpenSnapshotInEditor(png, job.editorIdleWaitMs);
                                        });
      break;
    }
    case BrowserJobKind::SetState:
      result.succeeded =
          SetReportState(stream, job.server, SystemAnsiCodec(), job.names, job.state, &result.records);
      break;
    case BrowserJobKind::FetchGameState: {
      static constexpr std::string_view kEntries[] = {kVariablesEntry, kGameStateEntry};
      result.succeeded = job.names.size() == 1 && FetchReportEntries(stream, job.server, SystemAnsiCodec(),
                                                                     job.names[0], kEntries, &result.entries);
      break;
    }
  }
  return result;
}

// The job and the module reference that keeps this code loaded while it runs.
struct RunningJob {
  std::unique_ptr<BrowserJob> job;
  HMODULE module = nullptr;
};

void Deliver(const BrowserJob& job, BrowserJobResult result) {
  {
    ResultQueue& queue = Results();
    std::lock_guard guard(queue.lock);
    queue.pending.push_back({job.browser, std::move(result)});
  }
  // The browser is gone: nobody will take the result.
  if (!PostMessageW(job.browser, kBrowserJobDone, 0, 0)) DropFor(job.browser);
}

DWORD WINAPI RunBrowserJob(void* argument) {
  HMODULE module = nullptr;
  GuardBoundary([&] {
    const std::unique_ptr<RunningJob> running(static_cast<RunningJob*>(argument));
    module = running->module;
    const BrowserJob& job = *running->job;
    // A job that throws (memory running out for a long reply) ends as a
    // failed one, so the browser still hears of it.
    BrowserJobResult failed;
    failed.kind = job.kind;
    Deliver(job, GuardBoundary(std::move(failed), [&] { return Run(job); }));
  });
  // An engine may unload the library while a fetch is still under way; the
  // reference taken at the start keeps this code mapped until here.
  if (module != nullptr) FreeLibraryAndExitThread(module, 0);
  return 0;
}

}  // namespace

bool StartBrowserJob(std::unique_ptr<BrowserJob> job) {
  auto running = std::make_unique<RunningJob>();
  running->job = std::move(job);
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&RunBrowserJob),
                     &running->module);
  if (!StartBrowserWorker(RunBrowserJob, running.get())) {
    if (running->module != nullptr) FreeLibrary(running->module);
    return false;
  }
  running.release();  // the worker owns it now
  return true;
}

std::vector<BrowserJobResult> TakeBrowserJobResults(HWND browser) {
  ResultQueue& queue = Results();
  std::lock_guard guard(queue.lock);
  std::vector<BrowserJobResult> taken;
  auto mine = std::stable_partition(queue.pending.begin(), queue.pending.end(),
                                    [browser](const PendingResult& p) { return p.browser == browser; });
  for (auto it = queue.pending.begin(); it != mine; ++it) taken.push_back(std::move(it->result));
  queue.pending.erase(queue.pending.begin(), mine);
  return taken;
}

void DropBrowserJobResults(HWND browser) { DropFor(browser); }

}  // namespace vnscope
