#include "win32/win32_text.h"

#include <windows.h>

#include <algorithm>
#include <climits>

namespace vnscope {
namespace {

// One conversion call into a string sized for the worst case: no code page
// gives more UTF-16 units than it has bytes (a double-byte character is one
// unit, a four-byte UTF-8 sequence two, a byte that does not convert one
// replacement character). The report list converts thousands of names.
std::u16string MultiByteToUtf16(UINT codePage, std::string_view text, bool* ok) {
  *ok = true;
  if (text.empty()) return {};
  // Every code page Windows uses for ANSI text, and UTF-8, maps the bytes
  // below 0x80 to the same code points. The server's report names are plain
  // ASCII, so a list of thousands converts without a system call per name.
  if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    return std::u16string(text.begin(), text.end());
  }
  if (text.size() > INT_MAX) {
    *ok = false;
    return {};
  }
  std::u16string out(text.size(), u'\0');
  const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                                         reinterpret_cast<wchar_t*>(out.data()), static_cast<int>(out.size()));
  if (length <= 0) {
    *ok = false;
    return {};
  }
  out.resize(static_cast<size_t>(length));
  return out;
}

std::string Utf16ToMultiByte(UINT codePage, std::u16string_view text) {
  if (text.empty()) return {};
  const std::wstring wide = AsWide(text);
  const int length = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
  if (length <= 0) return {};
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), out.data(), length, nullptr,
                      nullptr);
  return out;
}

}  // namespace

std::string Utf16ToAnsi(std::u16string_view text) { return Utf16ToMultiByte(CP_ACP, text); }

std::string Utf16ToUtf8(std::u16string_view text) { return Utf16ToMultiByte(CP_UTF8, text); }

std::u16string AnsiToUtf16(std::string_view text) {
  bool ok = false;
  return MultiByteToUtf16(CP_ACP, text, &ok);
}

bool Utf8ToUtf16(std::string_view text, std::u16string* out) {
  bool ok = false;
  *out = MultiByteToUtf16(CP_UTF8, text, &ok);
  return ok;
}

void CopyToTextBuffer(std::u16string_view text, wchar_t* buffer, int capacity) {
  if (buffer == nullptr || capacity <= 0) return;
  const size_t units = std::min(text.size(), static_cast<size_t>(capacity - 1));
  std::copy_n(text.begin(), units, buffer);
  buffer[units] = L'\0';
}

}  // namespace vnscope
