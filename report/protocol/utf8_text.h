// UTF-8 without a code page in between: the engine's UTF-16 names and texts
// reach packages this way, and the server shows report texts the same way.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace vnscope {

// UTF-16 to UTF-8. A surrogate without its partner has no UTF-8 form and
// becomes U+FFFD; everything else converts without loss.
std::string EncodeUtf8(std::u16string_view text);
// The length of EncodeUtf8(text), counted without building it.
size_t EncodedUtf8Size(std::u16string_view text);

// UTF-8 to UTF-16; none for bytes that are not well-formed UTF-8 (overlong
// forms, surrogates and values above U+10FFFF included).
std::optional<std::u16string> DecodeUtf8(std::string_view text);

}  // namespace vnscope
