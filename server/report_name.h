// Names the server gives reports: the UTC arrival time and the report's
// sequence number, "YYYYMMDD-HHMMSS-NNNNNN". Plain ASCII, because the client
// converts names through whatever ANSI code page the tester's Windows uses,
// and sortable, because the browser lists reports in name order.
#pragma once
#include <cstdint>
#include <string>

namespace vnscope::server {

// `unix_ms` is milliseconds since 1970 (UTC); `sequence` is at least 1. The
// sequence has six digits until it needs more.
std::string FormatReportName(int64_t unix_ms, int64_t sequence);

// True for text FormatReportName can produce. Anything else cannot be the
// name of a stored report and is not looked up.
bool LooksLikeReportName(const std::string& name);

}  // namespace vnscope::server
