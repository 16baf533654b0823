// The library's five exports and its entry point. Nothing throws past here.
#define VNSCOPE_BUILDING_DLL
#include <windows.h>

#include "host/running_game.h"
#include "monitors/clipboard.h"
#include "win32/module.h"
#include "include/vnscope.h"
#include "monitors/monitor_dialogs.h"
#include "monitors/thumbnail_writer.h"
#include "report/debug_report_dialog.h"
#include "report/outbox_sender.h"
#include "resources/resource.h"
#include "win32/boundary_guard.h"
#include "win32/unique_handle.h"

namespace vnscope {
namespace {

constexpr int32_t kInterfaceVersion = 2;

// Which slot each monitor fills and from which size on, in creation order.
struct MonitorSlot {
  HWND MonitorSet::*slot;
  uint32_t minimumSize;
  int dialogId;
  DLGPROC procedure;
};

constexpr MonitorSlot kMonitorSlots[] = {
    {&MonitorSet::variableList, 16, IDD_VARIABLE_LIST, VariableListDialogProc},
    {&MonitorSet::objectList, 16, IDD_OBJECT_LIST, ObjectListDialogProc},
    {&MonitorSet::otherInfo, 16, IDD_OTHER_INFO, OtherInfoDialogProc},
    {&MonitorSet::executionLog, 16, IDD_EXECUTION_LOG, ExecutionLogDialogProc},
    {&MonitorSet::preview, 20, IDD_PREVIEW, PreviewDialogProc},
    {&MonitorSet::database, 24, IDD_DATABASE, DatabaseDialogProc},
};

void ClearSlots(MonitorSet& set) {
  for (const MonitorSlot& entry : kMonitorSlots) set.*entry.slot = nullptr;
}

}  // namespace
}  // namespace vnscope

using namespace vnscope;

// Each export runs its body through GuardBoundary: what throws inside ends
// as the export's failure result, never in the engine.

extern "C" VNSCOPE_API bool __cdecl CreateMonitors(int32_t version, HWND owner, MonitorSet* set) {
  return GuardBoundary(false, [&] {
    if (version != kInterfaceVersion || !set) return false;
    ClearSlots(*set);
    ScopedModuleContext context;
    for (const MonitorSlot& entry : kMonitorSlots) {
      if (set->size < entry.minimumSize) continue;
      // A dialog that cannot be created leaves its slot null; the result stays true.
      set->*entry.slot = CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(entry.dialogId), owner,
                                            entry.procedure, 0);
    }
    // The engine has started: reports an earlier run could not deliver go now.
    SendOutboxNow();
    return true;
  });
}

extern "C" VNSCOPE_API void __cdecl DestroyMonitors(MonitorSet* set) {
  GuardBoundary([&] {
    // The engine is tearing down, whatever it passed.
    StopOutboxSender();
    if (!set) return;
    for (const MonitorSlot& entry : kMonitorSlots) {
      if (set->size < entry.minimumSize) continue;
      if (HWND window = set->*entry.slot) DestroyWindow(window);
    }
  });
}

extern "C" VNSCOPE_API bool __cdecl DebugReport(MonitorSet* set, ReportInfo* info) {
  return GuardBoundary(false, [&] {
    if (!set || !info) return false;
    ReportSession& session = CurrentReportSession();
    // Called again from inside the running dialog's loop (the engine's timer
    // or window procedure runs there): the open dialog keeps its record and
    // its snapshot, and this call changes nothing.
    if (session.info) return false;
    MonitorsRunningGame game(*set);
    session.monitors = set;
    session.info = info;
    session.game = &game;
    const ScopeExit endSession([&session] { session = ReportSession{}; });
    // The engine's window owns the panel, and so the report dialog.
    HWND owner = GetParent(set->otherInfo);
    ScopedModuleContext context;
    const INT_PTR result = DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_DEBUG_REPORT), owner,
                                           DebugReportDialogProc, 0);
    return result == 0;
  });
}

extern "C" VNSCOPE_API bool __cdecl OutputClipboard(const char* text, int32_t length) {
  return GuardBoundary(false, [&] { return PutTextOnClipboard(text, length); });
}

// The engine hears of no failure here: every failure ends quietly with true.
extern "C" VNSCOPE_API bool __cdecl OutputBMP32to24(int32_t width, int32_t height, const uint8_t* pixels,
                                                    int32_t index) {
  return GuardBoundary(true, [&] { return WriteThumbnail(width, height, pixels, index); });
}

// Nothing to stop at unloading: the outbox's sender holds a reference on the
// library while it runs, so the library is only ever unloaded with no sender
// left (or at process exit, after every thread has gone). Waiting for it here,
// under the loader lock, could never end.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
  SetModuleInstance(instance);
  return TRUE;
}
