// The snapshot canvas on a window of the test's own, over an opaque
// screenshot of one colour, and the ways the canvas tests drive and read it.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "canvas/edit_history.h"
#include "canvas/layer_stack.h"
#include "canvas/snapshot_canvas.h"
#include "canvas/text_layer.h"
#include "harness/harness.h"
#include "win32/module.h"

namespace vnscope::test {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr uint32_t kRed = 0x00FF0000;     // composite bytes B, G, R = 0, 0, 255
constexpr uint32_t kGround = 0x0046505A;  // the screenshot: B, G, R = 90, 80, 70

inline LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

// What the canvas's popup menu showed, item by item.
struct MenuSeen {
  std::vector<std::wstring> texts;  // a separator's is empty
  std::vector<UINT> commands;
  std::vector<bool> checked;
  std::vector<bool> greyed;
};

namespace menu_driving {

inline MenuSeen* g_seen = nullptr;
inline int g_downs = 0;

// Inside the menu's own loop: reads its items, then moves down and chooses,
// or closes it when there is nothing to choose.
inline void CALLBACK ReadAndChoose(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  HWND menuWindow = FindWindowW(L"#32768", nullptr);
  if (menuWindow == nullptr) return;
  auto menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t text[64] = {};
    GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
    const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
    g_seen->texts.push_back(text);
    g_seen->commands.push_back(GetMenuItemID(menu, i));
    g_seen->checked.push_back((state & MF_CHECKED) != 0);
    g_seen->greyed.push_back((state & MF_GRAYED) != 0);
  }
  for (int i = 0; i < g_downs; ++i) PostMessageW(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(menuWindow, WM_KEYDOWN, g_downs > 0 ? VK_RETURN : VK_ESCAPE, 0);
}

}  // namespace menu_driving

// Right-clicks the canvas at (x, y) and, once the menu is up, reads it, then
// presses the down key `downs` times (separators are passed over) and Enter;
// with no downs, Escape.
inline MenuSeen OpenMenu(HWND canvas, int x, int y, int downs) {
  MenuSeen seen;
  menu_driving::g_seen = &seen;
  menu_driving::g_downs = downs;
  SetTimer(nullptr, 0, 100, menu_driving::ReadAndChoose);
  RightClickAt(canvas, x, y);
  menu_driving::g_seen = nullptr;
  return seen;
}

class SnapshotCanvasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The test program holds the canvas code itself, so its classes belong
    // to the program's module.
    if (ModuleInstance() == nullptr) SetModuleInstance(GetModuleHandleW(nullptr));
    ASSERT_TRUE(RegisterSnapshotClass());
    WNDCLASSW parentClass{};
    parentClass.lpfnWndProc = DefWindowProcW;
    parentClass.hInstance = ModuleInstance();
    parentClass.lpszClassName = L"VnscopeCanvasTestParent";
    RegisterClassW(&parentClass);
    parent = CreateWindowW(parentClass.lpszClassName, L"canvas", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20,
                           kWidth + 40, kHeight + 80, nullptr, nullptr, ModuleInstance(), nullptr);
    // An opaque screenshot of one colour, kGround.
    for (int i = 0; i < kWidth * kHeight; ++i) screenshot.insert(screenshot.end(), {90, 80, 70, 255});
    SetLineColour(RGB(255, 0, 0));
    SetSnapshotEdited(true);  // a previous report's edit must not carry over
    canvas = CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES, kSnapshotClassName, L"",
                             WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP, 0, 22, kWidth, kHeight,
                             parent, nullptr, ModuleInstance(), screenshot.data());
    ASSERT_NE(canvas, nullptr);
    ShowWindow(canvas, SW_SHOW);
    list = FindWindowExW(canvas, nullptr, L"LISTBOX", nullptr);
    ASSERT_NE(list, nullptr);
  }

  void TearDown() override {
    DestroyWindow(parent);
    UnregisterSnapshotClass();
    TextBuffer().clear();
  }

  uint32_t Composite(int x, int y) const {
    return CompositeImage().pixels[static_cast<size_t>(y) * kWidth + x] & 0x00FFFFFF;
  }
  std::vector<std::wstring> Entries() const {
    std::vector<std::wstring> entries;
    const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      wchar_t text[256] = {};
      SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
      entries.push_back(text);
    }
    return entries;
  }

  void DoubleClickEntry(int index) {
    RECT item{};
    SendMessageW(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item));
    DoubleClickAt(list, item.left + 5, (item.top + item.bottom) / 2);
  }

  void ClickEntry(int index) {
    RECT item{};
    SendMessageW(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item));
    ClickAt(list, item.left + 5, (item.top + item.bottom) / 2);
  }

  // Press, move and release of the left button, in client coordinates.
  void Drag(int x0, int y0, int x1, int y1) {
    SendMessageW(canvas, WM_LBUTTONDOWN, MK_LBUTTON, At(x0, y0));
    SendMessageW(canvas, WM_MOUSEMOVE, MK_LBUTTON, At(x1, y1));
    SendMessageW(canvas, WM_LBUTTONUP, 0, At(x1, y1));
  }

  static int WhitePixels(const Layer& layer) {
    int count = 0;
    for (uint32_t pixel : layer.pixels) count += pixel != 0 && (pixel & 0x00FFFFFF) == 0x00FFFFFF;
    return count;
  }

  HWND parent = nullptr;
  HWND canvas = nullptr;
  HWND list = nullptr;
  std::vector<uint8_t> screenshot;
};

}  // namespace vnscope::test
