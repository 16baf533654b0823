// The codec the DLL uses for the ANSI texts of the package and the protocol:
// the system ANSI code page (932 on the DLL's users' machines).
#pragma once
#include "report/protocol/text_codec.h"

namespace vnscope {

class AnsiCodePageCodec final : public TextCodec {
 public:
  std::string FromUtf16(std::u16string_view text) const override;
  std::u16string ToUtf16(std::string_view text) const override;
};

const TextCodec& SystemAnsiCodec();

}  // namespace vnscope
