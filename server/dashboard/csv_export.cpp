#include "server/dashboard/csv_export.h"

#include "server/dashboard/pages.h"
#include "server/web_text.h"

#include <string_view>

namespace vnscope::server {
namespace {

// A spreadsheet takes a cell that starts with one of these as a formula, and
// a title or a name comes from anyone who can send a report: such a field is
// written after an apostrophe, which the spreadsheet shows as text.
bool ReadsAsFormula(const std::string& field) {
  return !field.empty() && std::string_view("=+-@\t\r").find(field.front()) != std::string_view::npos;
}

void AppendField(std::string& out, const std::string& field) {
  const std::string text = ReadsAsFormula(field) ? "'" + field : field;
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
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
