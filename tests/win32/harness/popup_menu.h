// Reading a popup menu (a context menu) while it tracks, as a tester sees it.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace vnscope::test {

struct PopupItem {
  UINT id;               // 0 for a separator
  std::wstring caption;  // as the menu shows it, accelerator text included
  bool enabled;
};

// Runs `open`, which makes a window show a popup menu (a right click), reads
// the items of the first popup menu that shows, and closes it without a
// choice. Empty when no menu showed within three seconds.
std::vector<PopupItem> ReadPopupMenu(const std::function<void()>& open);

}  // namespace vnscope::test
