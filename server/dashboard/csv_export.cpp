#include "server/dashboard/csv_export.h"

#include "server/dashboard/pages.h"
#include "server/dashboard/web_text.h"

namespace vnscope::server {
namespace {

void AppendField(std::string& out, const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) {
    out += field;
    return;
  }
  out += '"';
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

}  // namespace

std::string ReportsCsv(const std::vector<ReportRow>& rows) {
  std::string csv = "\xEF\xBB\xBFname,title,reporter,state,state_label,flags,received,assignee,label\r\n";
  for (const ReportRow& row : rows) {
    const std::string fields[] = {row.name,  row.title,           row.reporter,          std::to_string(row.state),
                                  StateLabel(row.state), std::to_string(row.flags), IsoTimeWithOffset(row.received_ms),
                                  row.assignee, row.label};
    for (size_t i = 0; i < std::size(fields); ++i) {
      if (i) csv += ',';
      AppendField(csv, fields[i]);
    }
    csv += "\r\n";
  }
  return csv;
}

}  // namespace vnscope::server
