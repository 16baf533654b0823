// Reads the clipboard back as a user's program would.
#pragma once
#include <string>

namespace vnscope::test {

// The CF_TEXT bytes up to their first zero; "<clipboard busy>" when the
// clipboard cannot be opened.
std::string ClipboardAnsiText();

// The clipboard's CF_UNICODETEXT, as the system converts the CF_TEXT put there.
std::wstring ClipboardUnicodeText();

// Empties the clipboard so that a test sees only what it caused.
void EmptyTheClipboard();

}  // namespace vnscope::test
