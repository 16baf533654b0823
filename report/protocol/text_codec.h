// Conversion between UTF-16 and the single-byte texts the engine, the clipboard
// and the report server use. The platform-free code takes a codec so that it can
// be tested natively; the DLL passes the system ANSI code page.
#pragma once
#include <string>
#include <string_view>

namespace vnscope {

class TextCodec {
 public:
  virtual ~TextCodec() = default;
  // Converts to the single-byte code page; characters the code page lacks
  // become its default character. No terminator is added.
  virtual std::string FromUtf16(std::u16string_view text) const = 0;
  // Converts from the single-byte code page. No terminator is added.
  virtual std::u16string ToUtf16(std::string_view text) const = 0;
};

// Latin-1: every byte is the code unit of the same value; units above 0xFF
// become '?'. Used where no system code page exists: native tests and benchmarks.
class Latin1Codec final : public TextCodec {
 public:
  std::string FromUtf16(std::u16string_view text) const override {
    std::string out;
    out.reserve(text.size());
    for (char16_t unit : text) out.push_back(unit <= 0xFF ? static_cast<char>(unit) : '?');
    return out;
  }
  std::u16string ToUtf16(std::string_view text) const override {
    std::u16string out;
    out.reserve(text.size());
    for (char byte : text) out.push_back(static_cast<unsigned char>(byte));
    return out;
  }
};

}  // namespace vnscope
