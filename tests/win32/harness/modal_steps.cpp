#include "harness/modal_steps.h"

#include "harness/harness.h"

namespace vnscope::test {
namespace {

struct StepDrive {
  std::vector<ModalStep>* steps = nullptr;
  size_t next = 0;
  std::chrono::steady_clock::time_point deadline;
  bool forced = false;
};

StepDrive* g_stepDrive = nullptr;

BOOL CALLBACK PostCloseTo(HWND window, LPARAM) {
  PostMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;
}

// Steps advance before their driver runs, so that a driver sitting in a
// nested modal loop lets the following step be driven there.
void CALLBACK StepTimerProc(HWND, UINT, UINT_PTR, DWORD) {
  StepDrive* drive = g_stepDrive;
  if (!drive) return;
  if (std::chrono::steady_clock::now() > drive->deadline) {
    drive->forced = true;
    EnumThreadWindows(GetCurrentThreadId(), PostCloseTo, 0);
    return;
  }
  if (drive->next >= drive->steps->size()) return;
  ModalStep& step = (*drive->steps)[drive->next];
  HWND window = FindThreadWindow(step.caption);
  if (!window) return;
  ++drive->next;
  step.driver(window);
}

struct StaticTextSearch {
  std::wstring text;
};

BOOL CALLBACK TakeStaticText(HWND child, LPARAM context) {
  wchar_t className[32] = {};
  GetClassNameW(child, className, 32);
  auto* search = reinterpret_cast<StaticTextSearch*>(context);
  if (lstrcmpiW(className, L"Static") != 0) return TRUE;
  search->text = WindowText(child);
  return search->text.empty();
}

struct OwnedSearch {
  HWND owner;
  const std::function<bool(HWND)>& accept;
  HWND found;
};

BOOL CALLBACK MatchOwner(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<OwnedSearch*>(context);
  if (GetWindow(window, GW_OWNER) != search->owner || (search->accept && !search->accept(window))) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

HWND OwnedWindow(HWND owner, const std::function<bool(HWND)>& accept) {
  OwnedSearch search{owner, accept, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), MatchOwner, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

size_t DriveModalSteps(const std::function<void()>& action, std::vector<ModalStep> steps,
                       std::chrono::milliseconds timeout) {
  StepDrive drive;
  drive.steps = &steps;
  drive.deadline = std::chrono::steady_clock::now() + timeout;
  StepDrive* outer = std::exchange(g_stepDrive, &drive);
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, StepTimerProc);
  action();
  KillTimer(nullptr, timer);
  g_stepDrive = outer;
  return drive.forced ? 0 : drive.next;
}

std::wstring MessageBoxText(HWND box) {
  StaticTextSearch search;
  EnumChildWindows(box, TakeStaticText, reinterpret_cast<LPARAM>(&search));
  return search.text;
}

void PressOk(HWND window) { PostMessageW(window, WM_COMMAND, IDOK, 0); }

}  // namespace vnscope::test
