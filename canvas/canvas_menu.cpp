#include "canvas/canvas_menu.h"

#include "canvas/snapshot_canvas.h"

namespace vnscope {
namespace {

struct MenuItem {
  UINT command;  // 0: a separator
  const wchar_t* text;
};

constexpr MenuItem kMenuItems[] = {
    {kLineToolCommand, L"直線"},
    {kTextToolCommand, L"テキスト"},
    {kRectangleToolCommand, L"矩形"},
    {kArrowToolCommand, L"矢印"},
    {kMosaicToolCommand, L"モザイク"},
    {0, nullptr},
    {kUndoCommand, L"元に戻す\tCtrl+Z"},
    {kRedoCommand, L"やり直し\tCtrl+Y"},
};

}  // namespace

UniqueMenu BuildCanvasMenu() {
  UniqueMenu menu(CreatePopupMenu());
  if (!menu) return menu;
  for (const MenuItem& item : kMenuItems)
    AppendMenuW(menu.get(), item.command == 0 ? MF_SEPARATOR : MF_STRING, item.command, item.text);
  return menu;
}

bool IsToolCommand(UINT command) {
  return command >= kLineToolCommand && command <= kMosaicToolCommand;
}

void TrackCanvasMenu(HMENU menu, HWND owner, POINT screen, UINT tool, bool canUndo, bool canRedo) {
  for (const MenuItem& item : kMenuItems)
    if (IsToolCommand(item.command))
      CheckMenuItem(menu, item.command, MF_BYCOMMAND | (item.command == tool ? MF_CHECKED : MF_UNCHECKED));
  EnableMenuItem(menu, kUndoCommand, MF_BYCOMMAND | (canUndo ? MF_ENABLED : MF_GRAYED));
  EnableMenuItem(menu, kRedoCommand, MF_BYCOMMAND | (canRedo ? MF_ENABLED : MF_GRAYED));
  TrackPopupMenu(menu, 0, screen.x, screen.y, 0, owner, nullptr);
}

}  // namespace vnscope
