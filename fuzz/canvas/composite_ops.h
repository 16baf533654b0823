// The operations of the composite target's input, shared with its seeds.
#pragma once
#include <cstdint>

namespace vnscope::fuzz::composite {

// The input opens with the screenshot: width - 1, height - 1, U8 (even:
// opaque), then per pixel B, G, R (and an alpha when not opaque). Then each
// operation is one byte (its low 7 bits modulo kOps) and its arguments; every
// operation but those that composite themselves and kView is followed by
// CompositeChanges, unless the byte has kPileUp set.
// kSegment: U8 (200 and up: four U16 client coordinates through the view).
// kShape: U8 (even: a rectangle, odd: an arrow) and four coordinates; kMosaic:
// four coordinates; kLayerStep: U8 (even: a layer added, odd: the layer at an
// index deleted, U8 the index), both steps of the edit history.
enum Op : uint8_t {
  kAddLayer,
  kSelectLayer,
  kDeleteLayer,
  kSegment,
  kPixels,
  kTextTarget,
  kText,
  kLineColour,
  kRecomposite,
  kFlatten,
  kReopen,
  kView,
  kShape,
  kMosaic,
  kUndo,
  kRedo,
  kLayerStep,
  kOps
};

// On an operation byte: no compositing after the edit, so that edits pile up
// until the next one, as the window may paint less often than it edits.
inline constexpr uint8_t kPileUp = 0x80;

// An alpha is one byte: below kAnyAlpha, one of kAlphas (modulo their count),
// whose rim and blend steps tell orders apart; from kAnyAlpha, a second byte.
inline constexpr uint8_t kAlphas[] = {0, 1, 128, 254, 255};
inline constexpr uint8_t kAnyAlpha = 160;

}  // namespace vnscope::fuzz::composite
