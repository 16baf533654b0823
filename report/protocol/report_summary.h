// The payload of a ReportSummary reply: the report's "author" entry (title,
// reporter, flags) followed by its state.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

#include "report/protocol/report_types.h"
#include "report/protocol/text_pool.h"

namespace vnscope {

// What the server says of one report. The texts are views into the pool of
// the list that holds the record (see report_records.h).
struct ReportRecord {
  std::u16string_view title;
  std::u16string_view reporter;  // Windows user name of the sender
  uint32_t flags = 0;            // ReportFlags
  uint32_t state = ReportState::New;
};

// Reads title and reporter (each UTF-16LE up to its 0 unit) into `texts`, the
// flags right after the reporter's terminator and the state from the
// payload's last 4 bytes into `record`. False, with `record` unchanged, when
// either string is not terminated inside the payload or no room is left for
// flags and state: such a payload comes from a broken server and is ignored.
bool ParseReportSummary(std::span<const uint8_t> payload, TextPool& texts, ReportRecord* record);

}  // namespace vnscope
