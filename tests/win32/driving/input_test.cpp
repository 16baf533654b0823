// The harness's ways of driving controls do what a tester's hands would:
// later tests rely on them to click, double-click, right-click and type.
#include <windows.h>
#include <commctrl.h>

#include "harness/harness.h"
#include "win32/subclass.h"

namespace vnscope::test {
namespace {

struct Notifications {
  int clicks = 0;
  int activations = 0;
  int rightClicks = 0;
};

Notifications g_seen;

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED) ++g_seen.clicks;
  if (message == WM_NOTIFY) {
    const auto* header = reinterpret_cast<const NMHDR*>(lparam);
    if (header->code == LVN_ITEMACTIVATE) ++g_seen.activations;
    if (header->code == NM_RCLICK) ++g_seen.rightClicks;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSW cls{};
    cls.lpfnWndProc = ParentProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"VnscopeInputTestParent";
    RegisterClassW(&cls);
    parent = CreateWindowW(cls.lpszClassName, L"input", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 400, 300,
                           nullptr, nullptr, cls.hInstance, nullptr);
    g_seen = {};
  }
  void TearDown() override { DestroyWindow(parent); }
  HWND parent = nullptr;
};

TEST_F(InputTest, TypingAndKeysReachAnEdit) {
  HWND edit = CreateWindowW(L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 200, 24, parent, nullptr,
                            nullptr, nullptr);
  TypeText(edit, L"値42");
  EXPECT_EQ(WindowText(edit), L"値42");
  PressKey(edit, VK_HOME);
  TypeText(edit, L"x");
  EXPECT_EQ(WindowText(edit), L"x値42");
}

TEST_F(InputTest, ClickPressesAButton) {
  HWND button = CreateWindowW(L"BUTTON", L"JUMP", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 80, 24, parent,
                              reinterpret_cast<HMENU>(7), nullptr, nullptr);
  ClickCentre(button);
  EXPECT_EQ(g_seen.clicks, 1);
}

TEST_F(InputTest, ListViewSeesDoubleAndRightClicks) {
  HWND list = CreateWindowW(WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 300, 200, parent,
                            nullptr, nullptr, nullptr);
  LVCOLUMNW column{LVCF_TEXT | LVCF_WIDTH, 0, 200, const_cast<wchar_t*>(L"名前")};
  SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  LVITEMW item{LVIF_TEXT, 0, 0, 0, 0, const_cast<wchar_t*>(L"bg01")};
  SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  EXPECT_EQ(ListViewRowCount(list), 1);
  EXPECT_EQ(ListViewCell(list, 0, 0), L"bg01");
  EXPECT_EQ(ListViewColumnTitle(list, 0), L"名前");
  RECT label{LVIR_LABEL};
  SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&label));
  DoubleClickAt(list, label.left + 5, (label.top + label.bottom) / 2);
  EXPECT_EQ(g_seen.activations, 1);
  RightClickAt(list, label.left + 5, (label.top + label.bottom) / 2);
  EXPECT_EQ(g_seen.rightClicks, 1);
}

// --- Subclass helper ------------------------------------------------------------

Subclass g_subclass;
int g_interceptedChars = 0;

LRESULT CALLBACK UpperCaseEdit(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CHAR && wparam >= 'a' && wparam <= 'z') {
    ++g_interceptedChars;
    wparam -= 'a' - 'A';
  }
  return g_subclass.CallPrevious(window, message, wparam, lparam);
}

TEST_F(InputTest, SubclassInterceptsAndRestores) {
  HWND edit = CreateWindowW(L"EDIT", L"", WS_CHILD | WS_VISIBLE, 10, 10, 200, 24, parent, nullptr, nullptr,
                            nullptr);
  const LONG_PTR original = GetWindowLongPtrW(edit, GWLP_WNDPROC);
  ASSERT_TRUE(g_subclass.Install(edit, UpperCaseEdit));
  EXPECT_FALSE(g_subclass.Install(edit, UpperCaseEdit)) << "a second install would lose the original";
  TypeText(edit, L"ab");
  EXPECT_EQ(WindowText(edit), L"AB");
  g_subclass.Restore();
  EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), original);
  TypeText(edit, L"c");
  EXPECT_EQ(WindowText(edit), L"ABc");
  EXPECT_EQ(g_interceptedChars, 2);
  EXPECT_FALSE(g_subclass.installed());
}

}  // namespace
}  // namespace vnscope::test
