#pragma once
#include <cstdint>

namespace vnscope {

// Puts `length` bytes of ANSI text on the clipboard as CF_TEXT, with a
// terminating zero added. False when the length is negative, the text is
// missing, or the memory, the clipboard or the hand-over fails. A block
// that cannot be allocated or locked leaves the clipboard untouched.
bool PutTextOnClipboard(const char* text, int32_t length);

}  // namespace vnscope
