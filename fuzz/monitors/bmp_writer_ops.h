// The bmp_writer target's input modes, shared with its seeds.
#pragma once
#include <cstdint>

namespace vnscope::fuzz::bmp_writer {

// The input's first byte is its mode. A picture (kPicture or any other mode
// not refused): U16 width, U8 height (modulo their bounds), then the pixels.
// A refused size: U32 big, U16 negative, then a U8 or U16 the kind reads.
enum RefusedKind : uint8_t { kNegativeWidth, kNegativeHeight, kPastFourGib, kRefusedKinds };

inline constexpr uint8_t kPicture = 0;

// One mode in eight is refused, its kind from the bits above.
constexpr bool IsRefused(uint8_t mode) { return mode % 8 == 7; }
constexpr RefusedKind RefusedKindOf(uint8_t mode) { return static_cast<RefusedKind>(mode / 8 % kRefusedKinds); }
constexpr uint8_t RefusedMode(RefusedKind kind) { return static_cast<uint8_t>(7 + 8 * kind); }

}  // namespace vnscope::fuzz::bmp_writer
