#include "canvas/text_render.h"

namespace vnscope {
namespace {

// Slightly below 1.0 (fraction 0xFFFF, integer 0): the identity transform the
// gray-level outline service needs.
MAT2 GlyphTransform() {
  MAT2 transform{};
  transform.eM11.fract = 0xFFFF;
  transform.eM22.fract = 0xFFFF;
  return transform;
}

// Reused from glyph to glyph so that drawing allocates only when a glyph is
// larger than every one before it.
std::vector<uint8_t>& GlyphBuffer() {
  static std::vector<uint8_t> buffer;
  return buffer;
}

}  // namespace

UniqueFont CreateCanvasTextFont() {
  return UniqueFont(CreateFontW(20, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_NATURAL_QUALITY,
                                FIXED_PITCH | FF_MODERN, L"ＭＳ ゴシック"));
}

bool GdiGlyphSource::Metrics() {
  if (!haveMetrics_) haveMetrics_ = GetTextMetricsW(dc_, &metrics_) != FALSE;
  return haveMetrics_;
}

int32_t GdiGlyphSource::LineHeight() { return Metrics() ? metrics_.tmHeight : 0; }

int32_t GdiGlyphSource::Ascent() { return Metrics() ? metrics_.tmAscent : 0; }

bool GdiGlyphSource::Glyph(char16_t character, GlyphImage* glyph) {
  const MAT2 transform = GlyphTransform();
  GLYPHMETRICS metrics{};
  const DWORD size = GetGlyphOutlineW(dc_, character, GGO_GRAY8_BITMAP, &metrics, 0, nullptr, &transform);
  if (size == GDI_ERROR) return false;
  glyph->originX = metrics.gmptGlyphOrigin.x;
  glyph->originY = metrics.gmptGlyphOrigin.y;
  glyph->blackBoxX = metrics.gmBlackBoxX;
  glyph->blackBoxY = metrics.gmBlackBoxY;
  glyph->cellIncX = metrics.gmCellIncX;
  glyph->levels = nullptr;
  glyph->size = 0;
  if (size == 0) return true;
  std::vector<uint8_t>& buffer = GlyphBuffer();
  buffer.resize(size);
  if (GetGlyphOutlineW(dc_, character, GGO_GRAY8_BITMAP, &metrics, size, buffer.data(), &transform) ==
      GDI_ERROR)
    return false;
  glyph->levels = buffer.data();
  glyph->size = size;
  return true;
}

}  // namespace vnscope
