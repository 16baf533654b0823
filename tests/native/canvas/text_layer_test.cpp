#include "canvas/text_layer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "canvas_fixture.h"

namespace vnscope {
namespace {

using test::FakeGlyphs;

std::vector<std::pair<int32_t, int32_t>> Covered(const Layer& layer) {
  std::vector<std::pair<int32_t, int32_t>> covered;
  for (int32_t y = 0; y < layer.height; ++y)
    for (int32_t x = 0; x < layer.width; ++x)
      if (layer.pixels[static_cast<size_t>(y) * layer.width + x] != 0) covered.push_back({x, y});
  return covered;
}

TEST(TextLayer, EditingKeys) {
  TextBuffer().clear();
  TextCharacter(8);  // backspace on an empty buffer
  EXPECT_EQ(TextBuffer(), u"");
  TextCharacter(u'a');
  TextKeyDownReturn();  // Enter: the line feed, then its carriage return as a character
  TextCharacter(u'\r');
  TextCharacter(u'\t');
  EXPECT_EQ(TextBuffer(), u"a\n\r\t");
  TextCharacter(8);
  TextCharacter(8);
  EXPECT_EQ(TextBuffer(), u"a\n");
  TextCharacter(8);
  EXPECT_EQ(TextBuffer(), u"a");
  TextBuffer().clear();
}

TEST(TextLayer, GrayLevelsBecomeWhiteCoverage) {
  Layer layer;
  InitLayer(layer, 4, 2, nullptr);
  SetLayerPixel(layer, 2, 0, 0xFF0000FF);  // under a level-0 pixel: kept
  // Levels 64, 32, 0, 1 in the first row, 200 (beyond the system's range) in the second.
  const uint8_t levels[8] = {64, 32, 0, 1, 200, 0, 0, 0};
  GlyphImage glyph;
  glyph.blackBoxX = 4;
  glyph.blackBoxY = 2;
  glyph.levels = levels;
  glyph.size = sizeof(levels);
  PutGlyph(layer, 0, 0, glyph);
  const std::vector<uint32_t> expected = {0xFFFFFFFF, 0x7FFFFFFF, 0xFF0000FF, 0x03FFFFFF,
                                          0xFFFFFFFF, 0,          0,          0};
  EXPECT_EQ(layer.pixels, expected);
}

TEST(TextLayer, GlyphPixelsBeyondAnEdgeAreDroppedNotWrapped) {
  const uint8_t levels[12] = {64, 64, 64, 0, 64, 64, 64, 0, 64, 64, 64, 0};  // 3 x 3 box
  GlyphImage glyph;
  glyph.blackBoxX = 3;
  glyph.blackBoxY = 3;
  glyph.levels = levels;
  glyph.size = sizeof(levels);
  struct Case {
    int32_t left, top;
    std::vector<std::pair<int32_t, int32_t>> covered;
  } cases[] = {
      {4, 1, {{4, 1}, {5, 1}, {4, 2}, {5, 2}, {4, 3}, {5, 3}}},  // right edge
      {-2, 0, {{0, 0}, {0, 1}, {0, 2}}},                          // left edge
      {1, -2, {{1, 0}, {2, 0}, {3, 0}}},                          // top edge
      {0, 3, {{0, 3}, {1, 3}, {2, 3}}},                           // bottom edge
  };
  for (const auto& c : cases) {
    Layer layer;
    InitLayer(layer, 6, 4, nullptr);
    PutGlyph(layer, c.left, c.top, glyph);
    EXPECT_EQ(Covered(layer), c.covered) << c.left << ", " << c.top;
  }
}

TEST(TextLayer, LinesStartAtTheOriginAndStopAtTheFirstFailure) {
  struct Case {
    std::u16string text;
    bool result;
    std::vector<std::pair<int32_t, int32_t>> boxes;  // top-left of each drawn box
  } cases[] = {
      // Baseline 8 below the origin (10, 20); the box's top is 2 above it.
      {u"ab", true, {{11, 26}, {16, 26}}},
      {u"a b", true, {{11, 26}, {21, 26}}},
      {u"a\nb", true, {{11, 26}, {11, 36}}},
      {std::u16string(u"a\0b", 3), true, {{11, 26}}},
      {u"a!b", false, {{11, 26}}},
  };
  for (const auto& c : cases) {
    Layer layer;
    InitLayer(layer, 40, 50, nullptr);
    FakeGlyphs glyphs;
    EXPECT_EQ(RenderText(glyphs, layer, {10, 20}, c.text), c.result);
    std::vector<std::pair<int32_t, int32_t>> expected;
    for (const auto& [x, y] : c.boxes)
      for (const auto& pixel : {std::pair{x, y}, {x + 1, y}, {x, y + 1}, {x + 1, y + 1}})
        expected.push_back(pixel);
    std::sort(expected.begin(), expected.end(),
              [](auto a, auto b) { return std::pair{a.second, a.first} < std::pair{b.second, b.first}; });
    EXPECT_EQ(Covered(layer), expected);
  }
}

TEST(TextLayer, RedrawReachesOnlyTheTextTarget) {
  const auto shot = test::SolidScreenshot(40, 30, 200, 100, 0, 255);
  test::OpenCanvas(40, 30, shot.data());
  FakeGlyphs glyphs;
  SetSnapshotEdited(false);
  TextBuffer() = u"ab";
  EXPECT_FALSE(RedrawTextTarget(glyphs, {0, 0})) << "no text target";
  EXPECT_FALSE(SnapshotEdited());

  AddLayer();
  SetTextTarget(CurrentLayer());
  SelectLayer(1);
  EXPECT_TRUE(RedrawTextTarget(glyphs, {0, 0}));
  EXPECT_TRUE(SnapshotEdited());
  EXPECT_TRUE(Covered(*LayerAt(1)).empty());
  EXPECT_EQ(Covered(*LayerAt(2)).size(), 8u);
  EXPECT_EQ(test::CompositeAt(1, 6), (test::Bgra{255, 255, 255, 0})) << "white glyph pixel";
  EXPECT_EQ(test::CompositeAt(0, 6), (test::Bgra{0, 0, 0, 0})) << "its rim";

  TextBuffer() = u"b";  // the redraw starts from an empty layer
  RedrawTextTarget(glyphs, {0, 0});
  EXPECT_EQ(Covered(*LayerAt(2)).size(), 4u);
  EXPECT_EQ(test::CompositeAt(6, 6), (test::Bgra{200, 100, 0, 0})) << "the old glyph's pixels are gone";

  DeleteLayer(2);
  SetSnapshotEdited(false);
  EXPECT_FALSE(RedrawTextTarget(glyphs, {0, 0})) << "the target went with its layer";
  EXPECT_FALSE(SnapshotEdited());
  TextBuffer().clear();
}

}  // namespace
}  // namespace vnscope
