#include "monitors/clipboard.h"

#include <windows.h>

#include <cstring>

#include "win32/unique_handle.h"

namespace vnscope {

bool PutTextOnClipboard(const char* text, int32_t length) {
  // A negative length would allocate nothing and copy past the block.
  if (length < 0 || (!text && length > 0)) return false;
  UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(length) + 1));
  if (!block) return false;
  // Filled before the clipboard is opened: a block that cannot be locked is
  // freed unfilled, and the clipboard keeps what it held.
  auto* bytes = static_cast<char*>(GlobalLock(block.get()));
  if (!bytes) return false;
  if (length > 0) std::memcpy(bytes, text, static_cast<size_t>(length));
  bytes[length] = '\0';
  GlobalUnlock(block.get());
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  const bool accepted = SetClipboardData(CF_TEXT, block.get()) != nullptr;
  // Once accepted the block belongs to the clipboard.
  if (accepted) block.release();
  CloseClipboard();
  return accepted;
}

}  // namespace vnscope
