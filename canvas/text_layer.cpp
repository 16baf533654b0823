#include "canvas/text_layer.h"

#include <algorithm>

namespace vnscope {

std::u16string& TextBuffer() {
  static std::u16string buffer;
  return buffer;
}

void TextKeyDownReturn() { TextBuffer().push_back(u'\n'); }

void TextCharacter(char16_t character) {
  std::u16string& buffer = TextBuffer();
  if (character == 8) {
    if (!buffer.empty()) buffer.pop_back();
  } else {
    buffer.push_back(character);
  }
}

void PutGlyph(Layer& layer, int32_t left, int32_t top, const GlyphImage& glyph) {
  if (glyph.levels == nullptr || layer.pixels.empty()) return;
  const size_t pitch = (static_cast<size_t>(glyph.blackBoxX) + 3) & ~size_t{3};
  for (uint32_t row = 0; row < glyph.blackBoxY; ++row) {
    const int64_t y = int64_t{top} + row;
    if (y < 0 || y >= layer.height) continue;
    for (uint32_t column = 0; column < glyph.blackBoxX; ++column) {
      const size_t offset = row * pitch + column;
      if (offset >= glyph.size) return;
      // The system gives 0 to 64; anything larger is held at full coverage.
      const uint32_t level = std::min<uint32_t>(glyph.levels[offset], 64);
      const int64_t x = int64_t{left} + column;
      if (level == 0 || x < 0 || x >= layer.width) continue;
      SetLayerPixel(layer, static_cast<int32_t>(x), static_cast<int32_t>(y),
                    ((level * 255) / 64) << 24 | 0x00FFFFFFu);
    }
  }
}

bool RenderGlyph(GlyphSource& source, Layer& layer, CanvasPoint& pen, char16_t character) {
  if (character == 0) return false;
  GlyphImage glyph;
  if (!source.Glyph(character, &glyph)) return false;
  if (character == u'\n') {
    pen.y += source.LineHeight();
    return true;
  }
  if (glyph.size > 0)
    PutGlyph(layer, pen.x + glyph.originX, pen.y + source.Ascent() - glyph.originY, glyph);
  pen.x += glyph.cellIncX;
  return true;
}

bool RenderText(GlyphSource& source, Layer& layer, CanvasPoint origin, std::u16string_view text) {
  text = text.substr(0, text.find(u'\0'));
  CanvasPoint pen = origin;
  for (const char16_t character : text) {
    const int32_t lineBefore = pen.y;
    if (!RenderGlyph(source, layer, pen, character)) return false;
    if (pen.y != lineBefore) pen.x = origin.x;
  }
  return true;
}

bool RedrawTextTarget(GlyphSource& source, CanvasPoint origin) {
  Layer* target = TextTarget();
  if (target == nullptr) return false;
  ClearLayerForRedraw(*target);
  const bool drawn = RenderText(source, *target, origin, TextBuffer());
  FinishLayerRedraw(*target);
  if (drawn) CompositeChanges();
  SetSnapshotEdited(true);
  return drawn;
}

}  // namespace vnscope
