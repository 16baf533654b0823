// The list as a CSV file for spreadsheet programs: UTF-8 with a byte-order
// mark (without one they read the Japanese as the system's code page), CRLF
// line ends, fields quoted when they hold a comma, a quote or a line break,
// and a field a spreadsheet would run as a formula kept as text.
#pragma once
#include <string>
#include <vector>

#include "server/store.h"

namespace vnscope::server {

// The header line, then one line per row in the order given.
std::string ReportsCsv(const std::vector<ReportRow>& rows);

}  // namespace vnscope::server
