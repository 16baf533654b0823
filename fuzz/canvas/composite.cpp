// The canvas's incremental compositing over random stacks and edits (layers
// added, selected and deleted, strokes, rectangles, arrows, mosaics, single
// pixels of any alpha, typed text from random glyphs, line colours, undo and
// redo, new screenshots), composited one at a time or piled up, against the
// literal passes: after every compositing the composite must hold exactly
// the bytes the literal method leaves, and the flattened snapshot them with
// every alpha 0xFF.
#include <cstdlib>
#include <iterator>
#include <utility>
#include <vector>

#include "canvas/edit_history.h"
#include "canvas/layer_stack.h"
#include "canvas/mosaic.h"
#include "canvas/rasteriser.h"
#include "canvas/shapes.h"
#include "canvas/text_layer.h"
#include "canvas_fixture.h"
#include "fuzz/canvas/composite_ops.h"
#include "fuzz/fuzz_support.h"
#include "literal_composite.h"

namespace vnscope::fuzz {
namespace {

using namespace composite;

// Few layers keep the literal passes quick; more add nothing new.
constexpr int32_t kMaxLayers = 6;

// Glyphs whose sizes, placement and gray levels (0 to 64, and beyond, which
// counts as 64) all come from the input.
class InputGlyphs final : public GlyphSource {
 public:
  explicit InputGlyphs(OpReader& in) : in_(in) {}
  bool Glyph(char16_t, GlyphImage* glyph) override {
    const uint8_t shape = in_.U8();
    if (shape == 255) return false;  // the system could not give it
    glyph->blackBoxX = shape % 6;
    glyph->blackBoxY = shape / 6 % 5;
    glyph->originX = static_cast<int8_t>(in_.U8()) / 16;
    glyph->originY = static_cast<int8_t>(in_.U8()) / 16;
    glyph->cellIncX = static_cast<int16_t>(static_cast<int8_t>(in_.U8()) / 8);
    levels_.resize(((glyph->blackBoxX + 3) & ~3u) * glyph->blackBoxY);
    for (auto& level : levels_) {
      const uint8_t byte = in_.U8();
      level = byte < 200 ? byte % 65 : byte;
    }
    glyph->levels = levels_.empty() ? nullptr : levels_.data();
    glyph->size = levels_.size();
    return true;
  }
  int32_t LineHeight() override { return 4; }
  int32_t Ascent() override { return 3; }

 private:
  OpReader& in_;
  std::vector<uint8_t> levels_;
};

class Session {
 public:
  explicit Session(OpReader& in) : in_(in) {
    SetLineColour(0x0000FF);  // kept by the process: each input starts red
    Open();
  }

  void Run() {
    while (!in_.empty()) Step();
    Compare(CompositeChanges());
  }

 private:
  int32_t Between(int32_t low, int32_t high) { return low + static_cast<int32_t>(in_.Below(static_cast<uint32_t>(high - low + 1))); }
  uint8_t Alpha() {
    const uint8_t pick = in_.U8();
    return pick < kAnyAlpha ? kAlphas[pick % std::size(kAlphas)] : in_.U8();
  }
  // Mostly near the picture; now and then far outside, as a drag past the window.
  int32_t Coordinate(int32_t size) {
    const uint8_t how = in_.U8();
    return how < 240 ? Between(-3, size + 2) : static_cast<int16_t>(in_.U16());
  }

  // A stroke as the window draws it: client positions (16 bits, as a mouse
  // message holds them) through the zoomed and panned view, or image
  // positions directly.
  void Stroke() {
    if (in_.U8() < 200) {
      DrawSegment(Coordinate(width_), Coordinate(height_), Coordinate(width_), Coordinate(height_));
      return;
    }
    const CanvasPoint from = ClientToImage(view_, {static_cast<int16_t>(in_.U16()), static_cast<int16_t>(in_.U16())});
    const CanvasPoint to = ClientToImage(view_, {static_cast<int16_t>(in_.U16()), static_cast<int16_t>(in_.U16())});
    DrawSegment(from.x, from.y, to.x, to.y);
  }

  // A zoom step or a pan drag; the view must stay within its bounds.
  void MoveView() {
    const uint8_t how = in_.U8();
    if (how % 2) StepZoom(view_, how & 2);
    else DragPan(view_, {static_cast<int16_t>(in_.U16()), static_cast<int16_t>(in_.U16())});
    Check(view_.zoom >= kMinZoom && view_.zoom <= kMaxZoom);
    for (const auto& [pan, size] : {std::pair{view_.pan.x, width_}, std::pair{view_.pan.y, height_}})
      Check(pan >= size / 2 - view_.zoom * size / 2 && pan <= view_.zoom * size / 2 - size / 2);
  }

  // A new screenshot of the input's size and pixels, opaque or not.
  void Open() {
    width_ = Between(1, 80);
    height_ = Between(1, 12);
    const bool opaque = in_.U8() % 2 == 0;
    std::vector<uint8_t> shot(static_cast<size_t>(width_) * height_ * 4);
    for (size_t i = 0; i < shot.size(); ++i) shot[i] = i % 4 == 3 ? (opaque ? 255 : Alpha()) : in_.U8();
    TextBuffer().clear();
    test::OpenCanvas(width_, height_, shot.data());
    view_ = CanvasView{width_, height_};
    reference_.Open(width_, height_);
    Compare(true);  // OpenCanvas composited once
  }

  void Step() {
    const uint8_t op = in_.U8();
    switch ((op & ~kPileUp) % kOps) {
      case kAddLayer:
        if (LayerCount() < kMaxLayers) Check(AddLayer());
        break;
      case kSelectLayer: SelectLayer(Between(-1, LayerCount())); break;
      case kDeleteLayer:
        // The window recomposites; the changes the removal marked must
        // give the same bytes.
        DeleteLayer(Between(0, LayerCount()));
        Compare(in_.U8() % 2 ? CompositeChanges() : Recomposite());
        return;
      case kSegment: Stroke(); break;
      case kView: MoveView(); return;
      case kPixels: {
        Layer* layer = LayerCount() > 1 ? LayerAt(Between(1, LayerCount() - 1)) : nullptr;
        for (int n = Between(1, 4); layer != nullptr && n > 0; --n) {
          const int32_t x = Coordinate(width_), y = Coordinate(height_);
          SetLayerPixel(*layer, x, y, uint32_t{Alpha()} << 24 | (in_.U32() & 0xFFFFFF));
        }
        break;
      }
      case kTextTarget:
        if (CurrentLayerIndex() != 0) SetTextTarget(CurrentLayer());
        break;
      case kText: {
        TextBuffer().clear();
        for (int n = Between(0, 6); n > 0; --n) TextBuffer().push_back(in_.U8() < 50 ? u'\n' : static_cast<char16_t>(Between(1, 90)));
        InputGlyphs glyphs(in_);
        const CanvasPoint origin{Coordinate(width_), Coordinate(height_)};
        // The redraw composites the changes itself when it draws.
        if (RedrawTextTarget(glyphs, origin)) Compare(true);
        return;
      }
      case kShape: {
        const bool arrow = in_.U8() % 2;
        const int32_t x0 = Coordinate(width_), y0 = Coordinate(height_), x1 = Coordinate(width_), y1 = Coordinate(height_);
        // A committed edit composites itself, with whatever piled up before it.
        CommitEdit([&] { arrow ? DrawArrow(x0, y0, x1, y1) : DrawRectangle(x0, y0, x1, y1); });
        Compare(true);
        return;
      }
      case kMosaic: {
        // The mosaic reads the composite, which the window keeps up to date.
        Compare(CompositeChanges());
        const int32_t x0 = Coordinate(width_), y0 = Coordinate(height_), x1 = Coordinate(width_), y1 = Coordinate(height_);
        CommitEdit([&] { DrawMosaic(x0, y0, x1, y1); });
        Compare(true);
        return;
      }
      case kUndo: Undo(); Compare(true); return;
      case kRedo: Redo(); Compare(true); return;
      case kLayerStep:
        if (in_.U8() % 2 == 0) {
          if (LayerCount() < kMaxLayers) AddLayerAsStep(u"layer");
          break;
        }
        DeleteLayerAsStep(Between(0, LayerCount()), u"layer");
        Compare(CompositeChanges());
        return;
      case kLineColour: SetLineColour(in_.U32()); break;
      case kRecomposite: Compare(Recomposite()); return;
      case kFlatten: Flatten(); return;
      case kReopen: Open(); return;
      default: break;
    }
    if (op & kPileUp) return;  // the next compositing takes this edit too
    Compare(CompositeChanges());
  }

  void Compare(bool fastResult) {
    Check(fastResult);
    Check(reference_.Recomposite());
    Check(reference_.FirstDifference() == test::LiteralComposite::kSame);
  }

  void Flatten() {
    Compare(CompositeChanges());
    const size_t count = static_cast<size_t>(width_) * height_;
    std::vector<uint8_t> snapshot(count * 4, 0x11);
    FlattenSnapshot(32 + in_.U8() % 8, static_cast<uint16_t>(width_), static_cast<uint16_t>(height_), snapshot.data());
    for (size_t i = 0; i < count; ++i) {
      const uint32_t pixel = CompositeImage().pixels[i];
      Check(snapshot[i * 4] == (pixel & 0xFF) && snapshot[i * 4 + 1] == ((pixel >> 8) & 0xFF) &&
            snapshot[i * 4 + 2] == ((pixel >> 16) & 0xFF) && snapshot[i * 4 + 3] == 0xFF);
    }
    // Another size or depth leaves the destination as it was.
    std::vector<uint8_t> untouched(count * 4 + 4, 0x22);
    FlattenSnapshot(24, static_cast<uint16_t>(width_), static_cast<uint16_t>(height_), untouched.data());
    FlattenSnapshot(32, static_cast<uint16_t>(width_ + 1), static_cast<uint16_t>(height_), untouched.data());
    for (uint8_t byte : untouched) Check(byte == 0x22);
  }

  OpReader& in_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  CanvasView view_;
  test::LiteralComposite reference_;
};

}  // namespace
}  // namespace vnscope::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vnscope::fuzz::OpReader in(data, size);
  vnscope::fuzz::Session(in).Run();
  return 0;
}
