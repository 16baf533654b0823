// The payload of a ReportSummary reply: the report's "author" entry (title,
// reporter, flags) followed by its state.
#pragma once
#include <cstdint>
#include <span>

#include "browser/report_table.h"

namespace vnscope {

// Reads title and reporter (each UTF-16LE up to its 0 unit), the flags right
// after the reporter's terminator and the state from the payload's last 4
// bytes into `record`. False, with `record` unchanged, when either string is
// not terminated inside the payload or no room is left for flags and state:
// such a payload comes from a broken server and is ignored.
bool ParseReportSummary(std::span<const uint8_t> payload, ReportRecord* record);

}  // namespace vnscope
