#include "report/protocol/report_summary.h"

#include "report/protocol/wire_format.h"

namespace vnscope {
namespace {

std::u16string_view Keep(std::span<const uint8_t> utf16le, TextPool& texts) {
  const size_t units = utf16le.size() / 2;
  char16_t* room = texts.Allocate(units);
  if (room != nullptr) DecodeUtf16Le(utf16le, room);
  return {room, units};
}

}  // namespace

bool ParseReportSummary(std::span<const uint8_t> payload, TextPool& texts, ReportRecord* record) {
  const auto title = FindUtf16LeString(payload, 0);
  if (!title) return false;
  const auto reporter = FindUtf16LeString(payload, title->size() + 2);
  if (!reporter) return false;
  // The flags follow the reporter; the state is a separate last word after them.
  const size_t flags_at = title->size() + 2 + reporter->size() + 2;
  if (payload.size() < flags_at + 8) return false;
  record->title = Keep(*title, texts);
  record->reporter = Keep(*reporter, texts);
  record->flags = ReadU32Le(payload.data() + flags_at);
  record->state = ReadU32Le(payload.data() + payload.size() - 4);
  return true;
}

}  // namespace vnscope
