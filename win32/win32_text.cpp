#include "win32/win32_text.h"

#include <windows.h>

namespace vnscope {
namespace {

std::u16string MultiByteToUtf16(UINT codePage, std::string_view text, bool* ok) {
  *ok = true;
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) {
    *ok = false;
    return {};
  }
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return AsUtf16(wide);
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

}  // namespace vnscope
