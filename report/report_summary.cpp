#include "report/report_summary.h"

#include <optional>
#include <string>
#include <utility>

namespace vnscope {
namespace {

uint32_t ReadU32(std::span<const uint8_t> bytes, size_t offset) {
  return uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 |
         uint32_t{bytes[offset + 2]} << 16 | uint32_t{bytes[offset + 3]} << 24;
}

// Reads 0-terminated UTF-16LE from `*offset` and moves past the terminator;
// none when the payload ends first.
std::optional<std::u16string> ReadString(std::span<const uint8_t> bytes, size_t* offset) {
  std::u16string text;
  for (size_t at = *offset; at + 1 < bytes.size(); at += 2) {
    const auto unit = static_cast<char16_t>(bytes[at] | bytes[at + 1] << 8);
    if (unit == 0) {
      *offset = at + 2;
      return text;
    }
    text.push_back(unit);
  }
  return std::nullopt;
}

}  // namespace

bool ParseReportSummary(std::span<const uint8_t> payload, ReportRecord* record) {
  size_t offset = 0;
  auto title = ReadString(payload, &offset);
  if (!title) return false;
  auto reporter = ReadString(payload, &offset);
  if (!reporter) return false;
  // The flags follow the reporter; the state is a separate last word after them.
  if (payload.size() < offset + 8) return false;
  record->title = std::move(*title);
  record->reporter = std::move(*reporter);
  record->flags = ReadU32(payload, offset);
  record->state = ReadU32(payload, payload.size() - 4);
  return true;
}

}  // namespace vnscope
