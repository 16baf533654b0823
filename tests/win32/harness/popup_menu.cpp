#include "harness/popup_menu.h"

#include <chrono>

#include "harness/harness.h"

namespace vnscope::test {
namespace {

// The menu loop runs inside `open`: a thread timer, which every loop
// dispatches, looks for the menu's window and reads it.
std::vector<PopupItem>* g_read = nullptr;

BOOL CALLBACK ReadShownPopup(HWND window, LPARAM) {
  if (ClassOf(window) != L"#32768" || !IsWindowVisible(window)) return TRUE;
  HMENU menu = reinterpret_cast<HMENU>(SendMessageW(window, MN_GETHMENU, 0, 0));
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t caption[64] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), caption, 64, MF_BYPOSITION);
    const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
    g_read->push_back({GetMenuItemID(menu, i), caption, (state & (MF_GRAYED | MF_DISABLED)) == 0});
  }
  EndMenu();
  return FALSE;
}

void CALLBACK LookForPopup(HWND, UINT, UINT_PTR, DWORD) {
  if (g_read && g_read->empty()) EnumThreadWindows(GetCurrentThreadId(), ReadShownPopup, 0);
}

}  // namespace

std::vector<PopupItem> ReadPopupMenu(const std::function<void()>& open) {
  std::vector<PopupItem> items;
  g_read = &items;
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, LookForPopup);
  open();
  PumpUntil([&] { return !items.empty(); }, std::chrono::seconds(3));
  KillTimer(nullptr, timer);
  g_read = nullptr;
  return items;
}

}  // namespace vnscope::test
