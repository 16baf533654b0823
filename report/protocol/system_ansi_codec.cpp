#include "report/protocol/system_ansi_codec.h"

#include "win32/win32_text.h"

namespace vnscope {

std::string AnsiCodePageCodec::FromUtf16(std::u16string_view text) const { return Utf16ToAnsi(text); }

std::u16string AnsiCodePageCodec::ToUtf16(std::string_view text) const { return AnsiToUtf16(text); }

const TextCodec& SystemAnsiCodec() {
  static const AnsiCodePageCodec codec;
  return codec;
}

}  // namespace vnscope
