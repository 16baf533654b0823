// The payload of a ReportSummary reply: the report's "author" entry (title,
// reporter, flags) followed by its state.
#pragma once
#include <cstdint>
#include <map>
#include <span>
#include <string>

#include "report/protocol/report_types.h"

namespace vnscope {

// What the server says of one report.
struct ReportRecord {
  std::u16string title;
  std::u16string reporter;  // Windows user name of the sender
  uint32_t flags = 0;       // ReportFlags
  uint32_t state = ReportState::New;
};

// Records keyed by the server's report name. std::u16string compares by code
// unit, so the records run in ascending UTF-16 order of their names.
using ReportRecords = std::map<std::u16string, ReportRecord>;

// Reads title and reporter (each UTF-16LE up to its 0 unit), the flags right
// after the reporter's terminator and the state from the payload's last 4
// bytes into `record`. False, with `record` unchanged, when either string is
// not terminated inside the payload or no room is left for flags and state:
// such a payload comes from a broken server and is ignored.
bool ParseReportSummary(std::span<const uint8_t> payload, ReportRecord* record);

}  // namespace vnscope
