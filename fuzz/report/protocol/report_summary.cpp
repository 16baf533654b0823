// A ReportSummary payload from the server: title, reporter, flags, state.
// Whatever the bytes, the parse either leaves the record alone or fills it
// with exactly what the payload holds at the places the format names.
#include <cstdlib>
#include <cstring>

#include "report/protocol/report_summary.h"
#include "report/protocol/wire_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> payload(data, size);
  vnscope::ReportRecord record{u"before", u"before", 7, 9};
  if (!vnscope::ParseReportSummary(payload, &record)) {
    if (record.title != u"before" || record.reporter != u"before" || record.flags != 7 || record.state != 9)
      std::abort();
    return 0;
  }
  // The strings as written back must be the payload's first bytes, the flags
  // must follow them and the state must be the last word.
  std::vector<uint8_t> expected;
  vnscope::AppendUtf16LeString(expected, record.title);
  vnscope::AppendUtf16LeString(expected, record.reporter);
  vnscope::AppendU32Le(expected, record.flags);
  if (expected.size() + 4 > size || std::memcmp(expected.data(), data, expected.size()) != 0) std::abort();
  if (vnscope::ReadU32Le(data + size - 4) != record.state) std::abort();
  return 0;
}
