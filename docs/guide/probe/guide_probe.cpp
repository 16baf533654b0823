// guide_probe: prints where the windows of a running engine stand on the
// screen, one "x y width height" line per question, for scripts/screenshots.
//   guide_probe window CAPTION            the top-level window with that caption
//   guide_probe control CAPTION ID        a control of that window, by its ID
//   guide_probe child CAPTION CLASS       the first descendant of that class
//   guide_probe item CAPTION ID ROW       a list view row (its whole bounds)
//   guide_probe tab CAPTION ID INDEX      a tab of a tab control
//   guide_probe listbox CAPTION CLASS ROW a list box row, the list box found by class
//   guide_probe menu                      the popup menu on the screen
//   guide_probe type TEXT                 types TEXT into the window with the
//                                         keyboard focus, as WM_CHAR messages
// Exit status 1 when nothing answers.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

void Print(const RECT& r) {
  std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
}

struct Search {
  const wchar_t* text;
  HWND found;
};

BOOL CALLBACK MatchVisibleCaption(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  wchar_t caption[256] = {};
  GetWindowTextW(window, caption, 256);
  if (IsWindowVisible(window) && std::wcscmp(caption, search->text) == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND TopLevel(const wchar_t* caption) {
  Search search{caption, nullptr};
  EnumWindows(MatchVisibleCaption, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK MatchClass(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (IsWindowVisible(window) && _wcsicmp(name, search->text) == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND Descendant(HWND parent, const wchar_t* className) {
  Search search{className, nullptr};
  EnumChildWindows(parent, MatchClass, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A common control in another process writes a rectangle only into memory
// of its own process (its messages lie above WM_USER, which the system does
// not carry across): the request goes through a page lent there.
bool RemoteRect(HWND control, UINT message, WPARAM index, RECT request, RECT& out) {
  DWORD process = 0;
  GetWindowThreadProcessId(control, &process);
  HANDLE owner = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
  if (!owner) return false;
  void* remote = VirtualAllocEx(owner, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
  const bool ok = remote && WriteProcessMemory(owner, remote, &request, sizeof(request), nullptr) &&
                  SendMessageW(control, message, index, reinterpret_cast<LPARAM>(remote)) > 0 &&
                  ReadProcessMemory(owner, remote, &out, sizeof(out), nullptr);
  if (remote) VirtualFreeEx(owner, remote, 0, MEM_RELEASE);
  CloseHandle(owner);
  if (ok) MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&out), 2);
  return ok;
}

int Answer(HWND window) {
  RECT r{};
  if (!window || !GetWindowRect(window, &r)) return 1;
  Print(r);
  return 0;
}

}  // namespace

int wmain(int count, wchar_t** args) {
  if (count < 2) return 2;
  const std::wstring what = args[1];
  if (what == L"menu") return Answer(FindWindowW(L"#32768", nullptr));
  // Characters outside the keyboard's map (Japanese) reach Wine through X only
  // unreliably; the characters themselves, as the keyboard would produce them.
  if (what == L"type" && count >= 3) {
    GUITHREADINFO focus{sizeof(focus)};
    if (!GetGUIThreadInfo(0, &focus) || !focus.hwndFocus) return 1;
    for (const wchar_t* unit = args[2]; *unit; ++unit) SendMessageW(focus.hwndFocus, WM_CHAR, *unit, 1);
    return 0;
  }
  if (count < 3) return 2;
  HWND top = TopLevel(args[2]);
  if (what == L"window") return Answer(top);
  if (!top || count < 4) return 1;
  if (what == L"control") return Answer(GetDlgItem(top, _wtoi(args[3])));
  if (what == L"child") return Answer(Descendant(top, args[3]));
  RECT r{};
  if (what == L"item" && count >= 5 &&
      RemoteRect(GetDlgItem(top, _wtoi(args[3])), LVM_GETITEMRECT, _wtoi(args[4]), {LVIR_BOUNDS, 0, 0, 0}, r)) {
    Print(r);
    return 0;
  }
  // The list box's message is a system one, below WM_USER: the system carries
  // the rectangle across the processes itself.
  HWND list = what == L"listbox" && count >= 5 ? Descendant(top, args[3]) : nullptr;
  if (list && SendMessageW(list, LB_GETITEMRECT, _wtoi(args[4]), reinterpret_cast<LPARAM>(&r)) != LB_ERR) {
    MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&r), 2);
    Print(r);
    return 0;
  }
  if (what == L"tab" && count >= 5 &&
      RemoteRect(GetDlgItem(top, _wtoi(args[3])), TCM_GETITEMRECT, _wtoi(args[4]), {}, r)) {
    Print(r);
    return 0;
  }
  if (what == L"item" || what == L"listbox" || what == L"tab") return 1;
  return 2;
}
