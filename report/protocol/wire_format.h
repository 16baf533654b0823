// The little-endian building blocks shared by the report client, the package
// entries and the report server: 32-bit numbers, the 5-byte frame header and
// 0-terminated UTF-16LE strings.
#pragma once
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vnscope {

inline constexpr size_t kFrameHeaderSize = 5;

inline uint32_t ReadU32Le(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

inline void AppendU32Le(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// A frame starts with its code byte and the payload length.
inline std::array<uint8_t, kFrameHeaderSize> EncodeFrameHeader(uint8_t code, uint32_t length) {
  return {code, static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
          static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24)};
}

// Appends the UTF-16LE units of `text` and one 16-bit 0.
inline void AppendUtf16LeString(std::vector<uint8_t>& out, std::u16string_view text) {
  for (char16_t unit : text) {
    out.push_back(static_cast<uint8_t>(unit));
    out.push_back(static_cast<uint8_t>(unit >> 8));
  }
  out.push_back(0);
  out.push_back(0);
}

// The 0-terminated UTF-16LE text starting at `offset`: its bytes without the
// terminator. None when the bytes end before a terminator: the text came from
// a peer and is not trusted.
inline std::optional<std::span<const uint8_t>> FindUtf16LeString(std::span<const uint8_t> bytes, size_t offset) {
  size_t end = offset;
  while (end + 1 < bytes.size() && (bytes[end] | bytes[end + 1]) != 0) end += 2;
  if (end + 1 >= bytes.size()) return std::nullopt;
  return bytes.subspan(offset, end - offset);
}

// Writes the units of UTF-16LE `bytes` (an even count) to `out`.
inline void DecodeUtf16Le(std::span<const uint8_t> bytes, char16_t* out) {
  // A little-endian machine holds the units as they travel: one copy for a
  // list of thousands of titles.
  if constexpr (std::endian::native == std::endian::little) {
    if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size() & ~size_t{1});
  } else {
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) *out++ = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
  }
}

// Reads a 0-terminated UTF-16LE string starting at `*offset` and moves the
// offset past its terminator. None, offset unchanged, when the bytes end
// before a terminator.
inline std::optional<std::u16string> ReadUtf16LeString(std::span<const uint8_t> bytes, size_t* offset) {
  const auto found = FindUtf16LeString(bytes, *offset);
  if (!found) return std::nullopt;
  std::u16string text(found->size() / 2, u'\0');
  DecodeUtf16Le(*found, text.data());
  *offset += found->size() + 2;
  return text;
}

}  // namespace vnscope
