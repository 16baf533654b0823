#include "report/outbox_menu.h"

#include <string>

#include "report/outbox.h"
#include "resources/resource.h"

namespace vnscope {

void ShowWaitingReports(HWND dialog) {
  HMENU bar = GetMenu(dialog);
  if (!bar) return;
  const size_t waiting = WaitingReports().size();
  const bool shown = GetMenuState(bar, IDM_OUTBOX_WAITING, MF_BYCOMMAND) != static_cast<UINT>(-1);
  if (waiting == 0) {
    if (!shown) return;
    DeleteMenu(bar, IDM_OUTBOX_WAITING, MF_BYCOMMAND);
  } else {
    // No "&": the item has no accelerator, and choosing it does nothing.
    const std::wstring text = L"送信待ち " + std::to_wstring(waiting) + L"件";
    if (shown) {
      ModifyMenuW(bar, IDM_OUTBOX_WAITING, MF_BYCOMMAND | MF_STRING, IDM_OUTBOX_WAITING, text.c_str());
    } else {
      AppendMenuW(bar, MF_STRING, IDM_OUTBOX_WAITING, text.c_str());
    }
  }
  DrawMenuBar(dialog);
}

}  // namespace vnscope
