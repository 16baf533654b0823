// The canvas's text font and the glyphs of the system's glyph outline service
// for drawing typed text into the text layer.
#pragma once
#include <windows.h>

#include <vector>

#include "canvas/text_layer.h"
#include "win32/unique_handle.h"

namespace vnscope {

// The 20-pixel fixed-pitch Gothic font of the text tool.
UniqueFont CreateCanvasTextFont();

// Gray-level glyph bitmaps (GGO_GRAY8_BITMAP) of the font selected into `dc`.
class GdiGlyphSource final : public GlyphSource {
 public:
  explicit GdiGlyphSource(HDC dc) : dc_(dc) {}
  bool Glyph(char16_t character, GlyphImage* glyph) override;
  int32_t LineHeight() override;
  int32_t Ascent() override;

 private:
  bool Metrics();

  HDC dc_;
  TEXTMETRICW metrics_{};
  bool haveMetrics_ = false;
};

}  // namespace vnscope
