// The operations of the composite target's input, shared with its seeds.
#pragma once
#include <cstdint>

namespace vnscope::fuzz::composite {

// The input opens with the screenshot: width - 1, height - 1, U8 (even:
// opaque), then per pixel B, G, R (and an alpha when not opaque). Then each
// operation is one byte (modulo kOps) and its arguments; every operation but
// those that composite themselves and kView is followed by CompositeChanges.
// kSegment: U8 (200 and up: four U16 client coordinates through the view).
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
  kOps
};

}  // namespace vnscope::fuzz::composite
