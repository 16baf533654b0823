#include "canvas/edit_history.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "canvas/canvas_limits.h"
#include "canvas/layer_stack.h"
#include "canvas/mosaic.h"
#include "canvas/rasteriser.h"
#include "canvas/shapes.h"
#include "canvas/text_layer.h"
#include "canvas_fixture.h"

namespace vnscope {
namespace {

using Kind = StackChange::Kind;

std::vector<uint32_t> CompositeNow() { return CompositeImage().pixels; }

// A stroke committed as the canvas commits one: a step, and the snapshot
// counts as edited.
bool Commit(void (*draw)(int32_t, int32_t, int32_t, int32_t), int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  const bool drawn = CommitEdit([&] { draw(x0, y0, x1, y1); });
  if (drawn) SetSnapshotEdited(true);
  return drawn;
}

class EditHistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetSnapshotEdited(false);
    test::OpenCanvas(48, 40, shot.data());
    opened = CompositeNow();
  }
  void TearDown() override { TextBuffer().clear(); }

  std::vector<uint8_t> shot = test::SolidScreenshot(48, 40, 90, 80, 70, 255);
  std::vector<uint32_t> opened;
};

TEST_F(EditHistoryTest, UndoAndRedoOfASegmentRestoreLayerAndComposite) {
  EXPECT_FALSE(CanUndo());
  EXPECT_EQ(Undo().kind, Kind::kNothing);
  Commit(DrawSegment, 3, 4, 30, 20);
  const std::vector<uint32_t> drawn = LayerAt(1)->pixels, shown = CompositeNow();
  ASSERT_NE(shown, opened);
  EXPECT_TRUE(CanUndo());
  EXPECT_FALSE(CanRedo());

  const StackChange undone = Undo();
  EXPECT_EQ(undone.kind, Kind::kPixels);
  EXPECT_EQ(undone.index, 1);
  EXPECT_EQ(LayerAt(1)->pixels, std::vector<uint32_t>(48 * 40, 0));
  EXPECT_EQ(CompositeNow(), opened);
  EXPECT_FALSE(SnapshotEdited()) << "every step undone";
  EXPECT_TRUE(CanRedo());

  EXPECT_EQ(Redo().kind, Kind::kPixels);
  EXPECT_EQ(LayerAt(1)->pixels, drawn);
  EXPECT_EQ(CompositeNow(), shown);
  EXPECT_TRUE(SnapshotEdited());
  EXPECT_FALSE(CanRedo());
}

TEST_F(EditHistoryTest, ANewStepDropsWhatCouldBeRedone) {
  Commit(DrawRectangle, 2, 2, 10, 10);
  Commit(DrawArrow, 20, 20, 40, 30);
  Undo();
  ASSERT_TRUE(CanRedo());
  Commit(DrawMosaic, 30, 0, 40, 8);
  EXPECT_FALSE(CanRedo());
  Undo();
  Undo();
  EXPECT_FALSE(CanUndo()) << "the arrow went with the redo it could have had";
  EXPECT_EQ(CompositeNow(), opened);
}

TEST_F(EditHistoryTest, EditsThatChangeNothingAreNoSteps) {
  DeleteLayer(1);  // the base layer is current: nothing is drawn
  EXPECT_FALSE(CommitEdit([] { DrawRectangle(1, 1, 9, 9); }));
  EXPECT_FALSE(CanUndo());
  AddLayer();
  Commit(DrawRectangle, 1, 1, 9, 9);
  EXPECT_FALSE(CommitEdit([] { DrawRectangle(1, 1, 9, 9); })) << "the same outline again";
  Undo();
  EXPECT_FALSE(CanUndo());
}

TEST_F(EditHistoryTest, LayersComeBackAtTheirPlaceWithTheirPixels) {
  Commit(DrawRectangle, 2, 2, 12, 12);
  Layer* first = LayerAt(1);
  const std::vector<uint32_t> firstPixels = first->pixels;
  ASSERT_TRUE(AddLayerAsStep(u"レイヤー2"));
  Commit(DrawArrow, 5, 30, 40, 30);
  ASSERT_TRUE(AddLayerAsStep(u"レイヤー3"));
  SelectLayer(1);
  DeleteLayerAsStep(1, u"レイヤー1");
  CompositeChanges();  // as the layer list does after a deletion
  EXPECT_EQ(LayerCount(), 3);
  EXPECT_EQ(CurrentLayerIndex(), 1);
  const std::vector<uint32_t> withoutFirst = CompositeNow();

  const StackChange back = Undo();
  EXPECT_EQ(back.kind, Kind::kLayerInserted);
  EXPECT_EQ(back.index, 1);
  EXPECT_EQ(back.label, u"レイヤー1");
  EXPECT_EQ(LayerAt(1), first) << "the same layer, not a copy";
  EXPECT_EQ(first->pixels, firstPixels);
  EXPECT_EQ(CurrentLayerIndex(), 1) << "current as before the deletion";

  const StackChange removed = Undo();
  EXPECT_EQ(removed.kind, Kind::kLayerRemoved);
  EXPECT_EQ(removed.index, 3);
  EXPECT_EQ(removed.label, u"レイヤー3");
  EXPECT_EQ(LayerCount(), 3);
  EXPECT_EQ(CurrentLayerIndex(), 2) << "current as before the layer was added";

  EXPECT_EQ(Redo().kind, Kind::kLayerInserted);
  const StackChange deletedAgain = Redo();
  EXPECT_EQ(deletedAgain.kind, Kind::kLayerRemoved);
  EXPECT_EQ(deletedAgain.index, 1);
  EXPECT_EQ(CompositeNow(), withoutFirst);
}

TEST_F(EditHistoryTest, TwentyUndosThenTwentyRedosGiveTheCompositeByteForByte) {
  std::mt19937 random(23);
  auto at = [&](int32_t limit) { return std::uniform_int_distribution<int32_t>(-4, limit + 4)(random); };
  // Twenty edits that each make a step (a random one may change nothing).
  for (int steps = 0, round = 0; steps < 20; ++round) {
    SetLineColour(random() & 0xFFFFFF);
    bool stepped = false;
    switch (round % 5) {
      case 0: stepped = Commit(DrawRectangle, at(48), at(40), at(48), at(40)); break;
      case 1: stepped = Commit(DrawArrow, at(48), at(40), at(48), at(40)); break;
      case 2: stepped = Commit(DrawMosaic, at(48), at(40), at(48), at(40)); break;
      case 3: stepped = Commit(DrawSegment, at(48), at(40), at(48), at(40)); break;
      default:
        // Added on one round, the lowest deleted on the next: an annotation
        // layer stays current.
        stepped = round % 10 == 4 ? AddLayerAsStep(u"layer") : (DeleteLayerAsStep(1, u"gone"), true);
    }
    steps += stepped;
    CompositeChanges();  // as the layer list does after a deletion
  }
  const std::vector<uint32_t> edited = CompositeNow();
  std::vector<std::vector<uint32_t>> layersEdited;
  for (int32_t i = 0; i < LayerCount(); ++i) layersEdited.push_back(LayerAt(i)->pixels);
  int undos = 0;
  while (CanUndo()) {
    Undo();
    ++undos;
  }
  EXPECT_EQ(undos, 20);
  EXPECT_EQ(CompositeNow(), opened);
  EXPECT_EQ(LayerCount(), 2);
  EXPECT_FALSE(SnapshotEdited());
  for (int redo = 0; redo < 20; ++redo) Redo();
  ASSERT_EQ(LayerCount(), static_cast<int32_t>(layersEdited.size()));
  for (int32_t i = 0; i < LayerCount(); ++i) EXPECT_EQ(LayerAt(i)->pixels, layersEdited[i]) << "layer " << i;
  EXPECT_EQ(CompositeNow(), edited);
  EXPECT_TRUE(SnapshotEdited());
}

// A text box is one step with all its typing: its layer goes and comes back
// with the text typed into it.
TEST_F(EditHistoryTest, ATextBoxIsOneStepWithItsTyping) {
  test::FakeGlyphs glyphs;
  ASSERT_TRUE(AddLayerAsStep(u"テキストレイヤー"));
  SetTextTarget(CurrentLayer());
  for (const char16_t character : u"abc") {
    if (character == 0) break;
    TextCharacter(character);
    RedrawTextTarget(glyphs, {4, 4});
  }
  const Layer* text = LayerAt(2);
  const std::vector<uint32_t> typed = text->pixels, shown = CompositeNow();
  ASSERT_EQ(test::CoveredPixels(*text).size(), 12u);

  EXPECT_EQ(Undo().kind, Kind::kLayerRemoved);
  EXPECT_EQ(LayerCount(), 2);
  EXPECT_EQ(TextTarget(), nullptr) << "typing must not reach a layer out of the stack";
  EXPECT_EQ(CompositeNow(), opened);
  EXPECT_FALSE(SnapshotEdited());
  EXPECT_EQ(Redo().kind, Kind::kLayerInserted);
  EXPECT_EQ(LayerAt(2)->pixels, typed);
  EXPECT_EQ(CompositeNow(), shown);
  EXPECT_TRUE(SnapshotEdited());
}

// The mosaic is pixels of the layer it went into, not a view of what lies
// above: typing into the text layer over it changes only that layer.
TEST_F(EditHistoryTest, TypingOverAMosaicChangesOnlyTheTextLayer) {
  test::FakeGlyphs glyphs;
  AddLayerAsStep(u"テキストレイヤー");
  SetTextTarget(CurrentLayer());
  TextBuffer() = u"ab";
  RedrawTextTarget(glyphs, {4, 4});
  SelectLayer(1);
  Commit(DrawMosaic, 0, 0, 23, 15);
  const std::vector<uint32_t> mosaic = LayerAt(1)->pixels, before = LayerAt(2)->pixels;
  TextBuffer() = u"abc";
  RedrawTextTarget(glyphs, {4, 4});
  EXPECT_EQ(LayerAt(1)->pixels, mosaic);
  EXPECT_NE(LayerAt(2)->pixels, before);
  EXPECT_EQ(test::CompositeAt(5, 10), (test::Bgra{255, 255, 255, 0})) << "the glyph over the mosaic";
}

// Deleted layers of a megapixel each fill the history beyond its bound: the
// oldest steps go, and with them the way back to an unedited picture.
TEST_F(EditHistoryTest, TheBoundLetsTheOldestStepsGo) {
  test::OpenCanvas(1024, 1024, nullptr);
  Commit(DrawSegment, 10, 10, 500, 10);
  EXPECT_LT(HistoryBytes(), size_t{64} * 1024) << "a stroke keeps what it changed, not its 4 MiB layer";
  const std::vector<uint32_t> stroke = LayerAt(1)->pixels;
  for (int i = 0; i < 20; ++i) {
    AddLayerAsStep(u"layer");
    DeleteLayerAsStep(2, u"layer");
    EXPECT_LE(HistoryBytes(), kHistoryBytes);
  }
  int undos = 0;
  while (CanUndo()) {
    Undo();
    ++undos;
  }
  EXPECT_LT(undos, 41);
  EXPECT_GT(undos, 20);
  EXPECT_EQ(LayerAt(1)->pixels, stroke) << "the segment's step went first";
  EXPECT_TRUE(SnapshotEdited()) << "the picture is still edited";
}

TEST_F(EditHistoryTest, ANewCanvasStartsWithAnEmptyHistory) {
  Commit(DrawRectangle, 2, 2, 10, 10);
  test::OpenCanvas(48, 40, shot.data());
  EXPECT_FALSE(CanUndo());
  EXPECT_EQ(HistoryBytes(), 0u);
}

}  // namespace
}  // namespace vnscope
