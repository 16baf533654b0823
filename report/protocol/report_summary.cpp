#include "report/protocol/report_summary.h"

#include <utility>

#include "report/protocol/wire_format.h"

namespace vnscope {

bool ParseReportSummary(std::span<const uint8_t> payload, ReportRecord* record) {
  size_t offset = 0;
  auto title = ReadUtf16LeString(payload, &offset);
  if (!title) return false;
  auto reporter = ReadUtf16LeString(payload, &offset);
  if (!reporter) return false;
  // The flags follow the reporter; the state is a separate last word after them.
  if (payload.size() < offset + 8) return false;
  record->title = std::move(*title);
  record->reporter = std::move(*reporter);
  record->flags = ReadU32Le(payload.data() + offset);
  record->state = ReadU32Le(payload.data() + payload.size() - 4);
  return true;
}

}  // namespace vnscope
