// Typed text of the canvas's text tool: the text buffer with its editing keys
// and the drawing of the buffer into the text target layer, glyph by glyph,
// from gray-level glyph bitmaps a GlyphSource supplies. Platform-free; the
// window side supplies glyphs from the system's glyph outlines.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "canvas/layer_stack.h"
#include "canvas/rasteriser.h"

namespace vnscope {

// The process-wide text buffer; each UTF-16 unit is one character.
std::u16string& TextBuffer();

// Enter's key-down: a line feed (the carriage return follows as a character).
void TextKeyDownReturn();
// A character message: backspace (8) removes the last unit, anything else is
// appended.
void TextCharacter(char16_t character);

// One glyph as the system describes it: a gray-level bitmap of 0 to 64 per
// pixel, rows padded to 4 bytes, placed relative to the pen.
struct GlyphImage {
  int32_t originX = 0;  // left of the black box from the pen
  int32_t originY = 0;  // top of the black box above the baseline
  uint32_t blackBoxX = 0;
  uint32_t blackBoxY = 0;
  int16_t cellIncX = 0;  // pen advance
  const uint8_t* levels = nullptr;
  size_t size = 0;  // bytes at `levels`; 0 for an empty glyph (a space)
};

class GlyphSource {
 public:
  virtual ~GlyphSource() = default;
  // The glyph of one character; false when the system cannot give it.
  virtual bool Glyph(char16_t character, GlyphImage* glyph) = 0;
  virtual int32_t LineHeight() = 0;  // the font's height
  virtual int32_t Ascent() = 0;      // baseline below the top of a line
};

// Turns the glyph's gray levels into white pixels whose alpha is the coverage
// (level x 255 / 64), with the black box's top-left at (left, top). Level 0
// leaves a pixel as it is; pixels outside the layer, including those beyond a
// row's left or right edge, are dropped.
void PutGlyph(Layer& layer, int32_t left, int32_t top, const GlyphImage& glyph);

// One character at the pen, which advances: a line feed moves it down by the
// line height. False for U+0000 or when the glyph cannot be had.
bool RenderGlyph(GlyphSource& source, Layer& layer, CanvasPoint& pen, char16_t character);

// The text up to its first U+0000 from `origin`, every line starting at the
// origin's x. Stops with false at the first glyph that fails.
bool RenderText(GlyphSource& source, Layer& layer, CanvasPoint origin, std::u16string_view text);

// After a character message with a text box: the text target is emptied, the
// whole buffer drawn into it from `origin` and, when that succeeded, the
// composite brought up to date. Marks the snapshot edited either way. False
// when there is no text target or the drawing failed.
bool RedrawTextTarget(GlyphSource& source, CanvasPoint origin);

}  // namespace vnscope
