// The rectangle, arrow and mosaic tools and undo and redo, driven through
// the canvas window's menu, mouse and keyboard.
#include <windows.h>

#include <string>
#include <vector>

#include "canvas/canvas_window_fixture.h"

namespace vnscope::test {
namespace {

class DrawingToolsTest : public SnapshotCanvasTest {
 protected:
  void Choose(UINT command) { SendMessageW(canvas, WM_COMMAND, command, 0); }
  void Undo() { PressChord(canvas, {VK_CONTROL}, 'Z'); }
  void Redo() { PressChord(canvas, {VK_CONTROL}, 'Y'); }
  bool LayerEmpty(int index) const {
    for (uint32_t pixel : LayerAt(index)->pixels)
      if (pixel != 0) return false;
    return true;
  }
};

TEST_F(DrawingToolsTest, MenuChecksTheToolAndGreysWhatCannotBeDone) {
  Choose(kMosaicToolCommand);
  MenuSeen menu = OpenMenu(canvas, 50, 50, 0);
  EXPECT_EQ(menu.checked, (std::vector<bool>{false, false, false, false, true, false, false, false}));
  std::vector<bool> greyed = menu.greyed;
  ASSERT_EQ(greyed.size(), 8u);
  greyed.erase(greyed.begin() + 5);  // the separator's, which the system decides
  EXPECT_EQ(greyed, (std::vector<bool>{false, false, false, false, false, true, true})) << "nothing to undo or redo yet";
  // The third item: the rectangle tool, then a rectangle.
  OpenMenu(canvas, 50, 50, 3);
  Drag(20, 20, 60, 50);
  menu = OpenMenu(canvas, 50, 50, 0);
  EXPECT_TRUE(menu.checked[2]);
  EXPECT_FALSE(menu.greyed[6]) << "the rectangle can be undone";
  EXPECT_TRUE(menu.greyed[7]);
  Choose(kUndoCommand);
  menu = OpenMenu(canvas, 50, 50, 0);
  EXPECT_TRUE(menu.greyed[6]);
  EXPECT_FALSE(menu.greyed[7]) << "and redone";
  Choose(kRedoCommand);
  EXPECT_EQ(Composite(20, 20), kRed);
}

TEST_F(DrawingToolsTest, ShapesGoFromThePressToTheRelease) {
  Choose(kRectangleToolCommand);
  SetSnapshotEdited(false);
  Drag(30, 40, 100, 90);
  EXPECT_TRUE(SnapshotEdited());
  for (const auto& [x, y] : {std::pair{30, 40}, {100, 40}, {100, 90}, {30, 90}, {65, 40}, {30, 65}})
    EXPECT_EQ(Composite(x, y), kRed) << "the outline at " << x << ", " << y;
  EXPECT_EQ(Composite(65, 65), kGround) << "inside";
  EXPECT_EQ(Composite(65, 38), 0u) << "the rim outside";

  Choose(kArrowToolCommand);
  Drag(40, 150, 140, 150);
  for (const auto& [x, y] : {std::pair{40, 150}, {139, 150}, {127, 157}, {127, 143}})
    EXPECT_EQ(Composite(x, y), kRed) << "the arrow at " << x << ", " << y;
  EXPECT_EQ(Composite(127, 153), kGround) << "between the shaft and a stroke of the head";

  // Over one colour the blocks' means are that colour: the mosaic shows as
  // opaque pixels of it, framed by its rim.
  Choose(kMosaicToolCommand);
  Drag(203, 101, 210, 118);
  const Layer& layer = *LayerAt(1);
  for (int y = 96; y < 120; ++y)
    for (int x = 200; x < 216; ++x)
      EXPECT_EQ(layer.pixels[static_cast<size_t>(y) * kWidth + x], 0xFF000000u | kGround) << x << ", " << y;
  EXPECT_EQ(layer.pixels[static_cast<size_t>(95) * kWidth + 200], 0u) << "outside the touched blocks";
  EXPECT_EQ(Composite(216, 100), 0u) << "the rim";
  EXPECT_EQ(Composite(215, 100), kGround);
}

TEST_F(DrawingToolsTest, AClickOrARightPressDrawsNothing) {
  SetSnapshotEdited(false);
  Choose(kArrowToolCommand);
  Drag(50, 50, 50, 50);
  Choose(kRectangleToolCommand);
  SendMessageW(canvas, WM_LBUTTONDOWN, MK_LBUTTON, At(10, 10));
  SendMessageW(canvas, WM_MOUSEMOVE, MK_LBUTTON, At(90, 90));
  RightClickAt(canvas, 90, 90);  // drops the rectangle being dragged
  SendMessageW(canvas, WM_LBUTTONUP, 0, At(90, 90));
  EXPECT_FALSE(SnapshotEdited());
  EXPECT_TRUE(LayerEmpty(1));
  EXPECT_FALSE(CanUndo());
}

TEST_F(DrawingToolsTest, KeyboardUndoesAndRedoes) {
  Choose(kRectangleToolCommand);
  SetSnapshotEdited(false);
  Drag(10, 10, 50, 50);
  Undo();
  EXPECT_EQ(Composite(10, 10), kGround);
  EXPECT_FALSE(SnapshotEdited()) << "every step undone";
  Redo();
  EXPECT_EQ(Composite(10, 10), kRed);
  EXPECT_TRUE(SnapshotEdited());
  Undo();
  PressChord(canvas, {VK_CONTROL, VK_SHIFT}, 'Z');
  EXPECT_EQ(Composite(10, 10), kRed) << "Ctrl+Shift+Z redoes too";
  EXPECT_EQ(TextBuffer(), u"") << "the chords' characters are not typed";
  PressChord(canvas, {}, 'Z');
  EXPECT_EQ(Composite(10, 10), kRed) << "Z alone is no shortcut";
}

TEST_F(DrawingToolsTest, TextBoxGoesAndComesBackWithItsText) {
  Choose(kTextToolCommand);
  Drag(30, 40, 200, 90);
  TypeText(canvas, L"テスト");
  const std::vector<uint32_t> typed = LayerAt(2)->pixels;
  ASSERT_GT(WhitePixels(*LayerAt(2)), 30);
  Undo();
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"レイヤー1", L"レイヤー新規作成"}));
  EXPECT_EQ(LayerCount(), 2);
  EXPECT_EQ(TextTarget(), nullptr);
  EXPECT_EQ(TextBuffer(), u"テスト") << "Ctrl+Z is not typed";
  TypeText(canvas, L"字");
  EXPECT_TRUE(LayerEmpty(1)) << "typing reaches no layer";
  Redo();
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"テキストレイヤー", L"レイヤー1", L"レイヤー新規作成"}));
  EXPECT_EQ(LayerAt(2)->pixels, typed);
}

TEST_F(DrawingToolsTest, LayerListChangesAreUndone) {
  Choose(kRectangleToolCommand);
  Drag(10, 60, 80, 100);
  DoubleClickEntry(1);  // "レイヤー新規作成"
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"レイヤー2", L"レイヤー1", L"レイヤー新規作成"}));
  Undo();
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"レイヤー1", L"レイヤー新規作成"}));
  EXPECT_EQ(LayerCount(), 2);
  Redo();
  EXPECT_EQ(LayerCount(), 3);
  DoubleClickEntry(1);  // "レイヤー1" with the rectangle
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"レイヤー2", L"レイヤー新規作成"}));
  EXPECT_EQ(Composite(10, 60), kGround);
  Undo();
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"レイヤー2", L"レイヤー1", L"レイヤー新規作成"}));
  EXPECT_EQ(Composite(10, 60), kRed) << "back with its pixels";
  EXPECT_EQ(CurrentLayerIndex(), 1) << "current as when it was deleted";
}

}  // namespace
}  // namespace vnscope::test
