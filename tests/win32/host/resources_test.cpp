// The DLL's resources as Windows loads them: dialog captions, control texts
// and classes, fonts, the report menu and the state glyph bitmap. The Japanese
// texts must come out exactly.
#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "harness/harness.h"
#include "resources/resource.h"

namespace vnscope::test {
namespace {

INT_PTR CALLBACK InertDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

struct ControlExpectation {
  int id;
  const wchar_t* className;
  const wchar_t* text;  // null: not checked
};

struct DialogExpectation {
  int id;
  const wchar_t* caption;
  const wchar_t* fontFace;
  std::vector<ControlExpectation> controls;
};

const std::vector<DialogExpectation>& Dialogs() {
  static const std::vector<DialogExpectation> dialogs = {
      {IDD_VARIABLE_LIST, L"変数一覧", L"MS UI Gothic",
       {{IDC_VARIABLE_LIST, L"SysListView32", nullptr}, {IDC_VALUE_EDITOR, L"Edit", nullptr}}},
      {IDD_OBJECT_LIST, L"オブジェクト一覧", L"MS UI Gothic", {{IDC_OBJECT_LIST, L"SysListView32", nullptr}}},
      {IDD_OTHER_INFO, L"その他情報", L"MS UI Gothic",
       {{IDC_JUMP_LABEL, L"ComboBox", nullptr},
        {IDC_JUMP, L"Button", L"JUMP"},
        {IDC_VOICE_LABEL, L"Static", L"再生中の音声"},
        {IDC_VOICE, L"Edit", nullptr},
        {IDC_BGS_LABEL, L"Static", L"再生中のBGS"},
        {IDC_BGS, L"Edit", nullptr},
        {IDC_BGV_LABEL, L"Static", L"再生中のBGV"},
        {IDC_BGV, L"Edit", nullptr},
        {IDC_OBJECT_LIST_TEXT, L"Button", L"オブジェクト一覧をテキストに出力"},
        {IDC_IMAGE_ERRORS, L"Button", L"画像読み込みエラーを表示する"},
        {IDC_SHOW_FPS, L"Button", L"タイトルバーにFPSを表示する"},
        {IDC_GALLERY_OPEN, L"Button", L"鑑賞室フルオープン"},
        {IDC_FORCE_EXIT_SCENE, L"Button", L"シーン再生強制脱出(縞猫会議以降は使用できません)"},
        {IDC_CHECK_TEXT_LENGTH, L"Button", L"簡易文字数チェック"},
        {IDC_CHECK_ASSETS, L"Button", L"簡易素材チェック"}}},
      {IDD_EXECUTION_LOG, L"実行ログ", L"MS UI Gothic", {{IDC_LOG_TEXT, L"Edit", nullptr}}},
      {IDD_PREVIEW, L"Preview", L"MS UI Gothic", {}},
      {IDD_DEBUG_REPORT, L"デバッグレポート", L"MS Shell Dlg", {{IDC_REPORT_TABS, L"SysTabControl32", nullptr}}},
      {IDD_REPORT_BROWSER, L"レポートブラウザ", L"MS Shell Dlg",
       {{IDOK, L"Button", L"更新"},
        {IDCANCEL, L"Button", L"キャンセル"},
        {IDC_BROWSER_TABS, L"SysTabControl32", nullptr},
        {IDC_BROWSER_LIST, L"SysListView32", nullptr}}},
      {IDD_SEND_CONFIRM, L"送信確認", L"MS Shell Dlg",
       {{IDOK, L"Button", L"送信"},
        {IDCANCEL, L"Button", L"中止"},
        {IDC_REPORT_TITLE, L"Edit", nullptr},
        {IDC_SEND_TEXT, L"Button", L"テキスト／スクリプトの報告"},
        {IDC_SEND_SNAPSHOT, L"Button", L"スクリーンショット"},
        {IDC_SEND_GAME_STATE, L"Button", L"ゲーム状態"}}},
      {IDD_REPORT_PREVIEW, L"レポートプレビュー", L"MS Shell Dlg",
       {{IDC_PREVIEW_TEXT, L"Edit", nullptr}, {IDC_PREVIEW_NOTES, L"Edit", nullptr}}},
      {IDD_DATABASE, L"DB", L"MS UI Gothic",
       {{IDC_TABLE_SELECTOR, L"ComboBox", nullptr}, {IDC_TABLE_GRID, L"SysListView32", nullptr}}},
  };
  return dialogs;
}

using ResourcesTest = EngineTest;

TEST_F(ResourcesTest, DialogsHaveTheirCaptionsControlsAndFonts) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  for (const DialogExpectation& expected : Dialogs()) {
    SCOPED_TRACE(expected.id);
    HWND dialog = CreateDialogParamW(dll.module, MAKEINTRESOURCEW(expected.id), engine.window(),
                                     InertDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(WindowText(dialog), expected.caption);
    EXPECT_FALSE(IsWindowVisible(dialog));
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof(font), &font);
    EXPECT_EQ(std::wstring(font.lfFaceName), expected.fontFace);
    for (const ControlExpectation& control : expected.controls) {
      HWND child = GetDlgItem(dialog, control.id);
      ASSERT_NE(child, nullptr) << control.id;
      EXPECT_EQ(ClassOf(child), control.className) << control.id;
      if (control.text) {
        EXPECT_EQ(WindowText(child), control.text) << control.id;
      }
    }
    DestroyWindow(dialog);
  }
}

TEST_F(ResourcesTest, PanelControlsStandInTabOrder) {
  HWND panel = CreateDialogParamW(dll.module, MAKEINTRESOURCEW(IDD_OTHER_INFO), engine.window(),
                                  InertDialogProc, 0);
  ASSERT_NE(panel, nullptr);
  std::vector<int> order;
  for (HWND child = GetWindow(panel, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    order.push_back(GetDlgCtrlID(child));
  }
  const std::vector<int> expected = {1004, 1005, 1006, 1007, 1001, 1009, 1010, 1011,
                                     1012, 1014, 1015, 1016, 1017, 1013, 1018};
  EXPECT_EQ(order, expected);
  DestroyWindow(panel);
}

TEST_F(ResourcesTest, ReportMenuHasItsCommandsInOrder) {
  HMENU menu = LoadMenuW(dll.module, MAKEINTRESOURCEW(IDM_DEBUG_REPORT));
  ASSERT_NE(menu, nullptr);
  auto text = [](HMENU m, UINT position) {
    wchar_t buffer[128] = {};
    GetMenuStringW(m, position, buffer, 128, MF_BYPOSITION);
    return std::wstring(buffer);
  };
  ASSERT_EQ(GetMenuItemCount(menu), 4);
  EXPECT_EQ(GetMenuItemID(menu, 0), static_cast<UINT>(IDM_SEND_REPORT));
  EXPECT_EQ(text(menu, 0), L"レポート送信(&S)");
  EXPECT_EQ(text(menu, 1), L"挿入(&I)");
  EXPECT_EQ(GetMenuItemID(menu, 2), static_cast<UINT>(IDM_CHOOSE_COLOUR));
  EXPECT_EQ(text(menu, 2), L"色選択(&C)");
  EXPECT_EQ(GetMenuItemID(menu, 3), static_cast<UINT>(IDM_SHOW_BROWSER));
  EXPECT_EQ(text(menu, 3), L"ブラウザ表示");
  HMENU insert = GetSubMenu(menu, 1);
  ASSERT_NE(insert, nullptr);
  ASSERT_EQ(GetMenuItemCount(insert), 3);
  EXPECT_EQ(GetMenuItemID(insert, 0), static_cast<UINT>(IDM_INSERT_TEXT));
  EXPECT_EQ(text(insert, 0), L"表示中の名前・文章");
  EXPECT_EQ(GetMenuItemID(insert, 1), static_cast<UINT>(IDM_INSERT_VOICE));
  EXPECT_EQ(text(insert, 1), L"再生中の音声");
  EXPECT_EQ(GetMenuItemID(insert, 2), static_cast<UINT>(IDM_INSERT_OBJECTS));
  EXPECT_EQ(text(insert, 2), L"表示中の画像一覧");
  DestroyMenu(menu);
}

// Black pixels of a 9 x 12 glyph cell, read back from the loaded bitmap.
std::vector<std::string> GlyphRows(const std::vector<uint32_t>& pixels, int glyph) {
  std::vector<std::string> rows;
  for (int y = 0; y < 12; ++y) {
    std::string row;
    for (int x = 0; x < 9; ++x) row += (pixels[y * 36 + glyph * 9 + x] & 0xFFFFFF) == 0 ? '#' : '.';
    rows.push_back(row);
  }
  return rows;
}

TEST_F(ResourcesTest, StateGlyphBitmapHoldsFourGlyphs) {
  HBITMAP bitmap = static_cast<HBITMAP>(
      LoadImageW(dll.module, MAKEINTRESOURCEW(IDB_STATE_GLYPHS), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  ASSERT_NE(bitmap, nullptr);
  DIBSECTION section{};
  ASSERT_EQ(GetObjectW(bitmap, sizeof(section), &section), static_cast<int>(sizeof(section)));
  EXPECT_EQ(section.dsBm.bmWidth, 36);
  EXPECT_EQ(section.dsBm.bmHeight, 12);
  EXPECT_EQ(section.dsBmih.biBitCount, 4);

  std::vector<uint32_t> pixels(36 * 12);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 36, -12, 1, 32, BI_RGB};
  HDC screen = GetDC(nullptr);
  ASSERT_EQ(GetDIBits(screen, bitmap, 0, 12, pixels.data(), &info, DIB_RGB_COLORS), 12);
  ReleaseDC(nullptr, screen);
  DeleteObject(bitmap);

  for (uint32_t pixel : pixels) {
    const uint32_t rgb = pixel & 0xFFFFFF;
    EXPECT_TRUE(rgb == 0 || rgb == 0xFFFFFF) << std::hex << rgb;  // black on white only
  }
  const auto right = GlyphRows(pixels, 0);
  const auto down = GlyphRows(pixels, 1);
  const auto member = GlyphRows(pixels, 2);
  const auto last = GlyphRows(pixels, 3);
  // A right-pointing triangle is widest at its left, a down-pointing one at its top.
  auto blackIn = [](const std::vector<std::string>& rows, int x0, int y0, int x1, int y1) {
    int count = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) count += rows[y][x] == '#';
    return count;
  };
  EXPECT_GT(blackIn(right, 0, 0, 4, 12), blackIn(right, 5, 0, 9, 12));
  EXPECT_GT(blackIn(down, 0, 0, 9, 5), blackIn(down, 0, 7, 9, 12));
  // Members: a dotted line over the full height; the last member's ends at its square.
  // The square covers rows 5 to 7; below it only the member's line goes on.
  EXPECT_GT(blackIn(member, 0, 8, 9, 12), 0);
  EXPECT_EQ(blackIn(last, 0, 8, 9, 12), 0);
  EXPECT_EQ(blackIn(member, 0, 0, 9, 8), blackIn(last, 0, 0, 9, 8));
  EXPECT_EQ(member[6][4], '#');  // the square at mid-height
  EXPECT_EQ(last[0][4], '#');    // the line starts at the top
}

}  // namespace
}  // namespace vnscope::test
