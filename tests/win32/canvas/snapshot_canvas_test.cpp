// The snapshot canvas driven with mouse and key messages over a screenshot of
// the test's making, on a window of the test's own.
#include "canvas/snapshot_canvas.h"

#include <windows.h>

#include <colordlg.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "canvas/canvas_window_fixture.h"
#include "canvas/layer_stack.h"
#include "canvas/text_layer.h"
#include "harness/harness.h"

namespace vnscope::test {
namespace {

TEST_F(SnapshotCanvasTest, OpensOverTheScreenshotWithTwoLayersAndNoEdit) {
  WNDCLASSW registered{};
  ASSERT_TRUE(GetClassInfoW(ModuleInstance(), kSnapshotClassName, &registered));
  EXPECT_EQ(registered.style, UINT{CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC});
  EXPECT_FALSE(SnapshotEdited());
  EXPECT_EQ(LayerCount(), 2);
  EXPECT_EQ(CurrentLayerIndex(), 1);
  EXPECT_EQ(Composite(0, 0), kGround);
  EXPECT_EQ(Composite(kWidth - 1, kHeight - 1), kGround);
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"レイヤー1", L"レイヤー新規作成"}));
  EXPECT_EQ(SendMessageW(canvas, WM_GETDLGCODE, 0, 0), DLGC_WANTALLKEYS | DLGC_WANTCHARS);
  EXPECT_EQ(WindowText(list), L"レイヤー");
  RECT placed = ChildRectInParent(list);
  EXPECT_EQ(placed.left, kWidth - 170);
  EXPECT_EQ(placed.top, 10);
  EXPECT_EQ(placed.right - placed.left, 160);
}

TEST_F(SnapshotCanvasTest, PolylineCommitsSegmentsAndARightClickEndsIt) {
  ClickAt(canvas, 10, 10);
  RightClickAt(canvas, 40, 10);  // ends the polyline: nothing committed
  EXPECT_FALSE(SnapshotEdited());
  EXPECT_EQ(Composite(10, 10), kGround);

  ClickAt(canvas, 10, 10);
  ClickAt(canvas, 20, 10);
  ClickAt(canvas, 20, 30);
  RightClickAt(canvas, 20, 30);
  EXPECT_TRUE(SnapshotEdited());
  for (int x = 10; x <= 20; ++x) EXPECT_EQ(Composite(x, 10), kRed) << x;
  for (int y = 10; y <= 30; ++y) EXPECT_EQ(Composite(20, y), kRed) << y;
  EXPECT_EQ(Composite(9, 9), 0u) << "the rim";
  EXPECT_EQ(Composite(15, 13), kGround) << "beside the rim";
  // After the right click the next click starts a new polyline.
  ClickAt(canvas, 100, 100);
  EXPECT_EQ(Composite(100, 100), kGround);
  RightClickAt(canvas, 100, 100);
}

TEST_F(SnapshotCanvasTest, ClickLeftOfTheWindowDuringCaptureDrawsToTheLeftEdge) {
  ClickAt(canvas, 30, 50);
  ClickAt(canvas, -40, 50);  // during capture a position left of the window is negative
  RightClickAt(canvas, 0, 0);
  for (int x = 0; x <= 30; ++x) EXPECT_EQ(Composite(x, 50), kRed) << x;
  EXPECT_EQ(Composite(kWidth - 1, 50), kGround) << "nothing toward the right edge";
}

TEST_F(SnapshotCanvasTest, PopupMenuSwitchesToTheTextTool) {
  const MenuSeen menu = OpenMenu(canvas, 50, 50, 2);  // the second item
  EXPECT_EQ(menu.texts, (std::vector<std::wstring>{L"直線", L"テキスト", L"矩形", L"矢印", L"モザイク", L"",
                                                   L"元に戻す\tCtrl+Z", L"やり直し\tCtrl+Y"}));
  EXPECT_EQ(menu.commands, (std::vector<UINT>{30000, 30001, 30002, 30003, 30004, 0, 30010, 30011}));
  EXPECT_EQ(menu.checked, (std::vector<bool>{true, false, false, false, false, false, false, false}));
  // With the text tool a drag makes a text box instead of a line.
  Drag(30, 40, 200, 90);
  EXPECT_EQ(Entries().front(), L"テキストレイヤー");
}

TEST_F(SnapshotCanvasTest, TypedTextGoesIntoItsOwnLayer) {
  SendMessageW(canvas, WM_COMMAND, kTextToolCommand, 0);
  TypeText(canvas, L"前");
  EXPECT_EQ(LayerCount(), 2) << "no box yet: no layer";
  EXPECT_FALSE(SnapshotEdited());

  Drag(30, 40, 200, 90);
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"テキストレイヤー", L"レイヤー1", L"レイヤー新規作成"}));
  ASSERT_EQ(LayerCount(), 3);
  EXPECT_EQ(TextTarget(), LayerAt(2));
  TypeText(canvas, L"テスト");
  EXPECT_TRUE(SnapshotEdited());
  EXPECT_EQ(TextBuffer(), u"テスト");
  const Layer& text = *LayerAt(2);
  const int white = WhitePixels(text);
  EXPECT_GT(white, 30);
  EXPECT_EQ(WhitePixels(*LayerAt(1)), 0) << "only the text layer changes";
  // Opaque glyph pixels show white, and the transparent pixels beside them
  // the black rim.
  int opaque = 0;
  for (int y = 1; y + 1 < kHeight; ++y)
    for (int x = 1; x + 1 < kWidth; ++x) {
      if (text.pixels[static_cast<size_t>(y) * kWidth + x] >> 24 != 255) continue;
      ++opaque;
      EXPECT_EQ(Composite(x, y), 0x00FFFFFFu) << x << ", " << y;
      for (const auto& [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
        if (text.pixels[static_cast<size_t>(y + dy) * kWidth + x + dx] != 0) continue;
        EXPECT_EQ(Composite(x + dx, y + dy), 0u) << x + dx << ", " << y + dy;
      }
    }
  EXPECT_GT(opaque, 0);
  const std::vector<uint32_t> beforeEnter = text.pixels;

  PressKey(canvas, VK_RETURN);  // the line feed
  TypeText(canvas, L"\r");      // and the character message Enter brings
  EXPECT_EQ(TextBuffer(), u"テスト\n\r");
  TypeText(canvas, L"\b\b");
  EXPECT_EQ(TextBuffer(), u"テスト");
  EXPECT_EQ(text.pixels, beforeEnter);
  TypeText(canvas, L"\b\b\b");
  EXPECT_EQ(WhitePixels(text), 0);
  EXPECT_EQ(Composite(35, 45), kGround);
  TypeText(canvas, L"字");
  const std::vector<uint32_t> typed = text.pixels;
  SendMessageW(canvas, WM_COMMAND, kLineToolCommand, 0);  // empties the box and the buffer
  TypeText(canvas, L"字");
  EXPECT_EQ(TextBuffer(), u"字");
  EXPECT_EQ(text.pixels, typed) << "typing reaches no layer without a box";
}

TEST_F(SnapshotCanvasTest, DeletingTheTextLayerStopsTyping) {
  SendMessageW(canvas, WM_COMMAND, kTextToolCommand, 0);
  Drag(30, 40, 200, 90);
  TypeText(canvas, L"A");
  DoubleClickEntry(0);  // the text layer's entry
  EXPECT_EQ(TextTarget(), nullptr);
  EXPECT_EQ(LayerCount(), 2);
  TypeText(canvas, L"B");
  EXPECT_EQ(WhitePixels(*LayerAt(1)), 0) << "typing reaches no other layer";
}

TEST_F(SnapshotCanvasTest, LayerListAddsSelectsAndDeletes) {
  DoubleClickEntry(1);  // "レイヤー新規作成"
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"レイヤー2", L"レイヤー1", L"レイヤー新規作成"}));
  EXPECT_EQ(CurrentLayerIndex(), 2);
  ClickEntry(2);  // the create entry alone changes nothing
  EXPECT_EQ(CurrentLayerIndex(), 2);
  ClickEntry(1);
  EXPECT_EQ(CurrentLayerIndex(), 1);
  ClickAt(canvas, 10, 60);
  ClickAt(canvas, 80, 60);
  RightClickAt(canvas, 80, 60);
  EXPECT_EQ(Composite(40, 60), kRed);

  DoubleClickEntry(1);  // "レイヤー1" with its line
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"レイヤー2", L"レイヤー新規作成"}));
  EXPECT_EQ(CurrentLayerIndex(), 1);
  EXPECT_EQ(Composite(40, 60), kGround) << "recomposited without the deleted line";
  EXPECT_EQ(Composite(40, 59), kGround);

  DoubleClickEntry(0);
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"レイヤー新規作成"}));
  EXPECT_EQ(CurrentLayerIndex(), 0);
  SetSnapshotEdited(false);
  ClickAt(canvas, 10, 100);
  ClickAt(canvas, 80, 100);
  RightClickAt(canvas, 80, 100);
  EXPECT_TRUE(SnapshotEdited()) << "the commit counts though the base layer takes no line";
  EXPECT_EQ(Composite(40, 100), kGround);
}

// The colour dialog answered by a timer inside its modal loop: it reads the
// colour the dialog opened with, types another into the red, green and blue
// fields, and confirms or cancels.
struct ColourDialogDrive {
  UINT answer = IDOK;
  bool seen = false;
  COLORREF opened = 0;
};
ColourDialogDrive g_colour;
constexpr COLORREF kTyped = RGB(12, 34, 56);

BOOL CALLBACK AnswerColourDialog(HWND window, LPARAM) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if (std::wstring(className) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  g_colour.seen = true;
  g_colour.opened = RGB(GetDlgItemInt(window, COLOR_RED, nullptr, FALSE),
                        GetDlgItemInt(window, COLOR_GREEN, nullptr, FALSE),
                        GetDlgItemInt(window, COLOR_BLUE, nullptr, FALSE));
  SetDlgItemInt(window, COLOR_RED, GetRValue(kTyped), FALSE);
  SetDlgItemInt(window, COLOR_GREEN, GetGValue(kTyped), FALSE);
  SetDlgItemInt(window, COLOR_BLUE, GetBValue(kTyped), FALSE);
  PostMessageW(window, WM_COMMAND, g_colour.answer, 0);
  return FALSE;
}

void CALLBACK AnswerColourDialogSoon(HWND, UINT, UINT_PTR timer, DWORD) {
  EnumThreadWindows(GetCurrentThreadId(), AnswerColourDialog, 0);
  if (g_colour.seen) KillTimer(nullptr, timer);
}

TEST_F(SnapshotCanvasTest, ColourDialogKeepsTheColourUnlessConfirmed) {
  const struct {
    UINT answer;
    COLORREF after;
  } cases[] = {{IDCANCEL, RGB(0, 0, 255)}, {IDOK, kTyped}};
  SetLineColour(RGB(0, 0, 255));
  for (const auto& c : cases) {
    g_colour = {c.answer};
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, AnswerColourDialogSoon);
    const bool chosen = ChooseLineColour(parent);
    KillTimer(nullptr, timer);
    ASSERT_TRUE(g_colour.seen);
    EXPECT_EQ(g_colour.opened, RGB(0, 0, 255)) << "the dialog opens on the line colour";
    EXPECT_EQ(chosen, c.answer == IDOK);
    EXPECT_EQ(LineColour(), c.after) << (c.answer == IDOK ? "confirmed" : "cancelled");
  }
  // The next segment takes the colour chosen: composite bytes B, G, R.
  ClickAt(canvas, 10, 10);
  ClickAt(canvas, 30, 10);
  RightClickAt(canvas, 30, 10);
  EXPECT_EQ(Composite(20, 10), uint32_t{GetRValue(kTyped)} << 16 | GetGValue(kTyped) << 8 | GetBValue(kTyped));
}

// The text layer the glyph rules define for `text` typed into a box at
// (x, y): white pixels with the coverage of the system's gray-level glyph
// bitmaps of the canvas's font, each glyph placed from the pen by its origin
// below the font's ascent, the pen moving by each cell's advance.
std::vector<uint32_t> ExpectedTextLayer(const std::wstring& text, int x, int y) {
  std::vector<uint32_t> layer(static_cast<size_t>(kWidth) * kHeight, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT font = CreateFontW(20, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, CLEARTYPE_NATURAL_QUALITY, FIXED_PITCH | FF_MODERN, L"ＭＳ ゴシック");
  HGDIOBJ previous = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  const MAT2 nearlyOne{{0xFFFF, 0}, {0, 0}, {0, 0}, {0xFFFF, 0}};
  int penX = x;
  for (wchar_t ch : text) {
    GLYPHMETRICS glyph{};
    const DWORD size = GetGlyphOutlineW(dc, ch, GGO_GRAY8_BITMAP, &glyph, 0, nullptr, &nearlyOne);
    EXPECT_NE(size, GDI_ERROR);
    if (size != GDI_ERROR && size > 0) {
      std::vector<uint8_t> levels(size);
      GetGlyphOutlineW(dc, ch, GGO_GRAY8_BITMAP, &glyph, size, levels.data(), &nearlyOne);
      const int left = penX + glyph.gmptGlyphOrigin.x;
      const int top = y + metrics.tmAscent - glyph.gmptGlyphOrigin.y;
      const int pitch = (static_cast<int>(glyph.gmBlackBoxX) + 3) & ~3;
      for (int r = 0; r < static_cast<int>(glyph.gmBlackBoxY); ++r) {
        for (int i = 0; i < static_cast<int>(glyph.gmBlackBoxX); ++i) {
          const uint32_t level = levels[static_cast<size_t>(r) * pitch + i];
          if (level == 0 || top + r < 0 || top + r >= kHeight || left + i < 0 || left + i >= kWidth) continue;
          layer[static_cast<size_t>(top + r) * kWidth + left + i] = (level * 255 / 64) << 24 | 0x00FFFFFFu;
        }
      }
    }
    penX += glyph.gmCellIncX;
  }
  SelectObject(dc, previous);
  DeleteObject(font);
  DeleteDC(dc);
  return layer;
}

// Draws what the screenshot check looks at and, when asked through the
// environment, holds the window up for a screen capture.
TEST_F(SnapshotCanvasTest, RedLineAndJapaneseText) {
  ClickAt(canvas, 20, 200);
  ClickAt(canvas, 120, 140);
  ClickAt(canvas, 300, 200);
  RightClickAt(canvas, 300, 200);
  SendMessageW(canvas, WM_COMMAND, kTextToolCommand, 0);
  Drag(20, 30, 300, 80);
  TypeText(canvas, L"日本語のテキスト");
  ASSERT_EQ(LayerCount(), 3);
  EXPECT_GT(WhitePixels(*LayerAt(2)), 100);
  EXPECT_TRUE(LayerAt(2)->pixels == ExpectedTextLayer(L"日本語のテキスト", 20, 30)) << "the text layer";
  // The brush is stamped at the polyline's corners and where each segment
  // crosses row 170 exactly; the last end point is not stamped, only the rim
  // of the stamp before it reaches it. Off the lines and the text the
  // screenshot shows.
  for (const auto& [x, y] : {std::pair{20, 200}, {70, 170}, {120, 140}, {210, 170}}) {
    EXPECT_EQ(Composite(x, y), kRed) << x << ", " << y;
  }
  EXPECT_EQ(Composite(300, 200), 0u);
  EXPECT_EQ(Composite(160, 120), kGround);
  EXPECT_EQ(Composite(10, 230), kGround);
  if (const char* hold = std::getenv("VNSCOPE_CANVAS_HOLD_MS"))
    PumpMessages(std::chrono::milliseconds(std::atoi(hold)));
}

}  // namespace
}  // namespace vnscope::test
