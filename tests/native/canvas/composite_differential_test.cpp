// The fast compositing against the literal passes, byte for byte, over random
// stacks and edits (strokes, shapes, mosaics, text, layers, undo and redo):
// the composite must be what the literal method would have left after every
// edit.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "canvas/edit_history.h"
#include "canvas/layer_stack.h"
#include "canvas/mosaic.h"
#include "canvas/rasteriser.h"
#include "canvas/shapes.h"
#include "canvas/text_layer.h"
#include "canvas_fixture.h"
#include "literal_composite.h"

namespace vnscope {
namespace {

constexpr uint8_t kAlphas[] = {0, 1, 128, 254, 255};

// Glyphs of random gray levels, including 0 and 64, sized from the character.
class RandomGlyphs final : public GlyphSource {
 public:
  explicit RandomGlyphs(std::mt19937& random) : random_(random) {}
  bool Glyph(char16_t character, GlyphImage* glyph) override {
    glyph->blackBoxX = 1 + character % 5;
    glyph->blackBoxY = 1 + character % 4;
    glyph->originX = static_cast<int32_t>(character % 3) - 1;
    glyph->originY = character % 6;
    glyph->cellIncX = static_cast<int16_t>(character % 7);
    levels_.resize(((glyph->blackBoxX + 3) & ~3u) * glyph->blackBoxY);
    for (auto& level : levels_) level = std::uniform_int_distribution<int>(0, 3)(random_) == 0 ? 64 : random_() % 64;
    glyph->levels = levels_.data();
    glyph->size = levels_.size();
    return true;
  }
  int32_t LineHeight() override { return 4; }
  int32_t Ascent() override { return 3; }

 private:
  std::mt19937& random_;
  std::vector<uint8_t> levels_;
};

class Differential {
 public:
  Differential(uint32_t seed, int32_t width, int32_t height, bool opaqueBase)
      : random_(seed), width_(width), height_(height) {
    std::vector<uint8_t> shot(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < shot.size(); ++i)
      shot[i] = i % 4 == 3 ? (opaqueBase ? 255 : Alpha()) : Byte();
    test::OpenCanvas(width, height, shot.data());
    reference_.Open(width, height);
    reference_.Recomposite();
  }

  // One random edit, then the composite brought up to date (or not yet).
  void Step() {
    switch (Between(0, 17)) {
      case 0: AddLayer(); break;
      case 1: SelectLayer(Between(0, LayerCount())); break;
      case 2:
        DeleteLayer(Between(1, LayerCount()));
        Compare(Recomposite());
        return;
      case 3: case 4: {
        DrawSegment(Between(-3, width_ + 2), Between(-3, height_ + 2), Between(-3, width_ + 2),
                    Between(-3, height_ + 2));
        break;
      }
      case 5: case 6: {
        Layer* layer = LayerCount() > 1 ? LayerAt(Between(1, LayerCount() - 1)) : nullptr;
        if (layer != nullptr)
          for (int n = Between(1, 4); n > 0; --n)
            SetLayerPixel(*layer, Between(0, width_ - 1), Between(0, height_ - 1),
                          uint32_t{Alpha()} << 24 | (random_() & 0xFFFFFF));
        break;
      }
      case 7: {
        if (CurrentLayerIndex() != 0) SetTextTarget(CurrentLayer());
        break;
      }
      case 10: case 11: {
        // Committed shapes composite themselves, with any edits piled up.
        auto shape = Between(0, 1) ? DrawRectangle : DrawArrow;
        const int32_t x0 = X(), y0 = Y(), x1 = X(), y1 = Y();
        Compare(CommitEdit([&] { shape(x0, y0, x1, y1); }) || true);
        return;
      }
      case 12: {
        // The mosaic reads the composite, which the window keeps up to date.
        Compare(CompositeChanges());
        const int32_t x0 = X(), y0 = Y(), x1 = X(), y1 = Y();
        CommitEdit([&] { DrawMosaic(x0, y0, x1, y1); });
        Compare(true);
        return;
      }
      case 13: case 14:
        Undo();
        Compare(true);
        return;
      case 15:
        Redo();
        Compare(true);
        return;
      case 16:
        if (Between(0, 1)) {
          AddLayerAsStep(u"layer");
        } else {
          DeleteLayerAsStep(Between(1, LayerCount()), u"layer");
          Compare(CompositeChanges());
          return;
        }
        break;
      default: {
        TextBuffer().clear();
        for (int n = Between(0, 6); n > 0; --n)
          TextBuffer().push_back(static_cast<char16_t>(Between(0, 4) == 0 ? u'\n' : Between(33, 90)));
        RandomGlyphs glyphs(random_);
        // The redraw composites the changes itself when it draws.
        if (RedrawTextTarget(glyphs, {Between(-3, width_), Between(-3, height_)})) {
          Compare(true);
        }
        return;
      }
    }
    if (Between(0, 2) == 0) return;  // edits may pile up before a compositing
    Compare(CompositeChanges());
  }

 private:
  int32_t Between(int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random_); }
  // Positions near the picture, some outside it.
  int32_t X() { return Between(-3, width_ + 2); }
  int32_t Y() { return Between(-3, height_ + 2); }
  uint8_t Byte() { return static_cast<uint8_t>(random_()); }
  // The telling alphas most of the time; any other now and then, since the
  // order of the rim steps shows only with some pairs of alphas.
  uint8_t Alpha() { return Between(0, 3) == 0 ? Byte() : Pick(kAlphas); }
  template <size_t N>
  uint8_t Pick(const uint8_t (&values)[N]) { return values[Between(0, N - 1)]; }

  void Compare(bool fastResult) {
    if (fastResult != true) ADD_FAILURE() << "the fast compositing failed";
    if (!reference_.Recomposite()) ADD_FAILURE() << "the literal compositing failed";
    const size_t i = reference_.FirstDifference();
    if (i != test::LiteralComposite::kSame)
      FAIL() << width_ << " x " << height_ << ": first difference at pixel " << i / 4 << " byte " << i % 4;
  }

  std::mt19937 random_;
  int32_t width_, height_;
  test::LiteralComposite reference_;
};

TEST(CompositeDifferential, FastCompositingGivesTheLiteralBytes) {
  struct Size {
    int32_t width, height;
  } sizes[] = {{1, 1}, {1, 7}, {7, 1}, {2, 2}, {5, 4}, {63, 3}, {64, 5}, {65, 4}, {130, 6}, {20, 20}};
  uint32_t seed = 1;
  for (const auto& size : sizes)
    for (const bool opaqueBase : {true, false})
      for (int run = 0; run < 12; ++run, ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Differential differential(seed, size.width, size.height, opaqueBase);
        for (int step = 0; step < 40 && !::testing::Test::HasFatalFailure(); ++step) differential.Step();
        if (::testing::Test::HasFatalFailure()) return;
      }
  TextBuffer().clear();
}

}  // namespace
}  // namespace vnscope
