// A report's id: 128 random bits the report dialog draws when it opens,
// written as 32 lowercase hexadecimal digits. Every package built in that
// dialog carries it as its last entry, so that the server stores the report
// once however often it arrives, and the tester's outbox names its file after
// it. Header-only: the server reads the entry through it without linking the
// client.
#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vnscope {

inline constexpr char kReportIdEntry[] = "reportid";
inline constexpr size_t kReportIdDigits = 32;

using ReportIdBits = std::array<uint8_t, kReportIdDigits / 2>;

// The id's text: each byte as two lowercase digits, high nibble first.
inline std::string FormatReportId(const ReportIdBits& bits) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(kReportIdDigits);
  for (uint8_t byte : bits) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

// Whether `text` is exactly an id as FormatReportId writes it: 32 digits
// 0-9 and a-f, nothing else.
inline bool IsReportId(std::string_view text) {
  return text.size() == kReportIdDigits && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

}  // namespace vnscope
