// The annotation canvas over a 1920 x 1080 screenshot with four annotation
// layers holding a few strokes and a text box. Baselines measured in the same
// run: the literal passes (nine rim passes and a blend pass per layer over the
// whole image) and the copy of one frame, the floor of any full compositing.
// Every edit is committed as the window commits it: recorded in the edit
// history and composited.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/native/canvas/literal_passes.h"
#include "canvas/edit_history.h"
#include "canvas/layer_stack.h"
#include "canvas/mosaic.h"
#include "canvas/rasteriser.h"
#include "canvas/shapes.h"
#include "canvas/text_layer.h"

namespace vnscope {
namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

// Glyphs of a 20-pixel font's size: a 16 x 18 black box about half covered,
// with full and partial levels, advancing by 20.
class BenchGlyphs final : public GlyphSource {
 public:
  BenchGlyphs() {
    levels_.resize(16 * 18);
    for (size_t i = 0; i < levels_.size(); ++i) levels_[i] = (i * 7 + i / 16) % 3 == 0 ? 0 : (i % 5 == 0 ? 32 : 64);
  }
  bool Glyph(char16_t, GlyphImage* glyph) override {
    glyph->originX = 2;
    glyph->originY = 16;
    glyph->blackBoxX = 16;
    glyph->blackBoxY = 18;
    glyph->cellIncX = 20;
    glyph->levels = levels_.data();
    glyph->size = levels_.size();
    return true;
  }
  int32_t LineHeight() override { return 20; }
  int32_t Ascent() override { return 17; }

 private:
  std::vector<uint8_t> levels_;
};

BenchGlyphs& Glyphs() {
  static BenchGlyphs glyphs;
  return glyphs;
}

constexpr CanvasPoint kTextOrigin{600, 500};

// The canvas as a tester leaves it: strokes on layers 1 to 3 (a box, a
// zigzag, an arrow), a line of 24 characters in the text layer on top.
void OpenAnnotatedCanvas() {
  static std::vector<uint8_t> screenshot = [] {
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = i % 4 == 3 ? 255 : static_cast<uint8_t>(i * 31 / 7);
    return pixels;
  }();
  InitLayer(CompositeImage(), kWidth, kHeight, nullptr);
  ResetLayers(kWidth, kHeight, screenshot.data());
  AddLayer();
  DrawSegment(200, 200, 900, 200);
  DrawSegment(900, 200, 900, 700);
  DrawSegment(900, 700, 200, 700);
  DrawSegment(200, 700, 200, 200);
  AddLayer();
  for (int32_t i = 0; i < 6; ++i) DrawSegment(1000 + i * 120, 100 + (i % 2) * 300, 1120 + i * 120, 100 + ((i + 1) % 2) * 300);
  AddLayer();
  DrawSegment(300, 900, 1500, 850);
  DrawSegment(1500, 850, 1450, 800);
  DrawSegment(1500, 850, 1450, 900);
  AddLayer();
  SetTextTarget(CurrentLayer());
  TextBuffer() = u"テキストボックスの中の二十四文字の注釈です。";
  RedrawTextTarget(Glyphs(), kTextOrigin);
  SelectLayer(2);
  Recomposite();
}

std::vector<literal::Plane> Planes() {
  std::vector<literal::Plane> planes;
  for (int32_t i = 0; i < LayerCount(); ++i)
    planes.push_back({kWidth, kHeight, reinterpret_cast<const uint8_t*>(LayerAt(i)->pixels.data())});
  return planes;
}

void BM_FrameCopyFloor(benchmark::State& state) {
  std::vector<uint32_t> from(static_cast<size_t>(kWidth) * kHeight, 0x12345678), to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size() * 4);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
}

void BM_LiteralRecomposite(benchmark::State& state) {
  OpenAnnotatedCanvas();
  const auto planes = Planes();
  std::vector<uint8_t> composite(static_cast<size_t>(kWidth) * kHeight * 4);
  for (auto _ : state) {
    literal::Recomposite(planes, composite.data(), kWidth, kHeight);
    benchmark::DoNotOptimize(composite.data());
  }
}

void BM_FullRecomposite(benchmark::State& state) {
  OpenAnnotatedCanvas();
  for (auto _ : state) benchmark::DoNotOptimize(Recomposite());
}

// One committed segment of about 250 pixels; the colour alternates so that
// every iteration really changes the stroke's pixels.
void BM_SegmentCommit(benchmark::State& state) {
  OpenAnnotatedCanvas();
  bool red = true;
  for (auto _ : state) {
    SetLineColour(red ? 0x000000FF : 0x0000FF00);
    red = !red;
    benchmark::DoNotOptimize(CommitEdit([] { DrawSegment(400, 300, 600, 450); }));
  }
  SetLineColour(0x000000FF);
}

// One rectangle of 300 x 220 and one arrow of about 450 pixels, the colour
// alternating as for the segment.
void BM_RectangleCommit(benchmark::State& state) {
  OpenAnnotatedCanvas();
  bool red = true;
  for (auto _ : state) {
    SetLineColour(red ? 0x000000FF : 0x0000FF00);
    red = !red;
    benchmark::DoNotOptimize(CommitEdit([] { DrawRectangle(400, 300, 700, 520); }));
  }
  SetLineColour(0x000000FF);
}

void BM_ArrowCommit(benchmark::State& state) {
  OpenAnnotatedCanvas();
  bool red = true;
  for (auto _ : state) {
    SetLineColour(red ? 0x000000FF : 0x0000FF00);
    red = !red;
    benchmark::DoNotOptimize(CommitEdit([] { DrawArrow(300, 800, 700, 600); }));
  }
  SetLineColour(0x000000FF);
}

// A 256 x 256 mosaic over the screenshot, away from the annotations, as a
// player name or a folder in a title bar is hidden; and one under part of
// the text and across the box's bottom side, whose pixels then go through the
// rim and the blend of the text above. Each is undone again outside the
// timing, so that every commit hides the picture anew.
// Both are 32 x 32 whole blocks.
void CommitMosaic() { CommitEdit([] { DrawMosaic(1600, 496, 1855, 751); }); }
void CommitMosaicUnderText() { CommitEdit([] { DrawMosaic(560, 456, 815, 711); }); }
void CommitSegment() { CommitEdit([] { DrawSegment(400, 300, 600, 450); }); }

void TimeCommitAlone(benchmark::State& state, void (*commit)()) {
  OpenAnnotatedCanvas();
  for (auto _ : state) {
    commit();
    state.PauseTiming();
    Undo();
    state.ResumeTiming();
  }
}

void BM_MosaicCommit(benchmark::State& state) { TimeCommitAlone(state, CommitMosaic); }
void BM_MosaicCommitUnderText(benchmark::State& state) { TimeCommitAlone(state, CommitMosaicUnderText); }

// Undo and redo of one committed edit, the other half of each pair outside
// the timing.
void TimeUndo(benchmark::State& state, void (*commit)()) {
  OpenAnnotatedCanvas();
  commit();
  for (auto _ : state) {
    benchmark::DoNotOptimize(Undo());
    state.PauseTiming();
    Redo();
    state.ResumeTiming();
  }
}

void TimeRedo(benchmark::State& state, void (*commit)()) {
  OpenAnnotatedCanvas();
  commit();
  for (auto _ : state) {
    state.PauseTiming();
    Undo();
    state.ResumeTiming();
    benchmark::DoNotOptimize(Redo());
  }
}

void BM_UndoSegment(benchmark::State& state) { TimeUndo(state, CommitSegment); }
void BM_RedoSegment(benchmark::State& state) { TimeRedo(state, CommitSegment); }
void BM_UndoMosaic(benchmark::State& state) { TimeUndo(state, CommitMosaic); }
void BM_RedoMosaic(benchmark::State& state) { TimeRedo(state, CommitMosaic); }

// One typed character: the character and then a backspace in turn, each a
// re-rendering of the whole text box and an update of the composite.
void BM_CharacterTyped(benchmark::State& state) {
  OpenAnnotatedCanvas();
  SetTextTarget(LayerAt(4));
  bool add = true;
  for (auto _ : state) {
    TextCharacter(add ? u'字' : char16_t{8});
    add = !add;
    benchmark::DoNotOptimize(RedrawTextTarget(Glyphs(), kTextOrigin));
  }
}

BENCHMARK(BM_FrameCopyFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LiteralRecomposite)->Unit(benchmark::kMicrosecond)->Iterations(5);
BENCHMARK(BM_FullRecomposite)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SegmentCommit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CharacterTyped)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RectangleCommit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ArrowCommit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MosaicCommit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MosaicCommitUnderText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UndoSegment)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedoSegment)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UndoMosaic)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedoMosaic)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vnscope

BENCHMARK_MAIN();
