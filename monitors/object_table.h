// What the object list shows of a scene object, and the line of object names
// its right click copies: platform-free, so the texts are tested natively.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vnscope {

// The engine's name for an object type code; "unknown" for the codes between
// the named ones.
std::u16string_view ObjectTypeName(int32_t code);

// The display state byte as the list shows it: 0 shown, 0xFE failed to
// create, anything else hidden.
std::u16string_view ObjectStateText(uint8_t state);

// The cells of one row that the clipboard line uses: the name and the X and
// Y columns as shown (empty when the engine sent no position).
struct ObjectClipboardRow {
  std::u16string name;
  std::u16string x;
  std::u16string y;
};

// Longest name the clipboard line carries for one object; longer names are cut.
constexpr size_t kClipboardNameLimit = 255;

// One line of quoted items joined by commas, no line break: each item is the
// name, then ",X" when X or Y is non-zero, then ",Y" when Y is non-zero.
// Names are copied as they stand (no escaping). No rows give "".
std::u16string ObjectClipboardText(const std::vector<ObjectClipboardRow>& rows);

}  // namespace vnscope
