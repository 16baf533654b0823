// The server's log: one line per exchange on standard error, which systemd
// files in the journal.
#pragma once
#include <string>

namespace vnscope::server {

// Writes one line, whole, even when several threads log at once. Prefixed
// with the UTC time unless the journal, which stamps lines itself, is reading.
void LogLine(const std::string& line);

}  // namespace vnscope::server
