// Text conversions with the system's code pages.
#pragma once
#include <string>
#include <string_view>

namespace vnscope {

// UTF-16 to the system ANSI code page (932 on the DLL's users' machines).
// Characters the code page lacks become its default character; no terminator
// is added.
std::string Utf16ToAnsi(std::u16string_view text);

// The system ANSI code page to UTF-16; no terminator is added.
std::u16string AnsiToUtf16(std::string_view text);

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// UTF-8 to UTF-16 with the system conversion and no flags; false when the
// text does not convert.
bool Utf8ToUtf16(std::string_view text, std::u16string* out);

// The same UTF-16 units seen as the Windows wide-string type.
inline std::wstring AsWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
inline std::u16string AsUtf16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// Copies `text` into a caller's buffer of `capacity` units (a list view's
// request for a cell), cut to fit and terminated; nothing without a buffer.
void CopyToTextBuffer(std::u16string_view text, wchar_t* buffer, int capacity);

}  // namespace vnscope
