// Text conversions with the system's code pages.
#pragma once
#include <string>
#include <string_view>

#include "host/text_codec.h"

namespace vnscope {

// The system ANSI code page (932 on the DLL's users' machines). Characters the
// code page lacks become its default character.
class AnsiCodePageCodec final : public TextCodec {
 public:
  std::string FromUtf16(std::u16string_view text) const override;
  std::u16string ToUtf16(std::string_view text) const override;
};

// The codec the library uses for ANSI texts.
const TextCodec& SystemAnsiCodec();

// UTF-8 to UTF-16 with the system conversion and no flags; false when the
// text does not convert.
bool Utf8ToUtf16(std::string_view text, std::u16string* out);

// The same UTF-16 units seen as the Windows wide-string type.
inline std::wstring AsWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
inline std::u16string AsUtf16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

}  // namespace vnscope
