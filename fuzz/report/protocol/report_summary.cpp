// A ReportSummary payload from the server: title, reporter, flags, state.
// Whatever the bytes, the parse either leaves the record alone or fills it
// with exactly what the payload holds at the places the format names.
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "report/protocol/report_summary.h"
#include "test_support.h"

using vnscope::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> payload(data, size);
  vnscope::TextPool texts;
  vnscope::ReportRecord record{u"before", u"before", 7, 9};
  if (!vnscope::ParseReportSummary(payload, texts, &record)) {
    Check(record.title == u"before" && record.reporter == u"before" && record.flags == 7 && record.state == 9,
          "a refused payload changed the record");
    return 0;
  }
  // The fields as the tests' builder writes them must be the payload's first
  // bytes, and the state its last word.
  const vnscope::test::Bytes fields = vnscope::test::AuthorEntry(record.title, record.reporter, record.flags);
  Check(fields.size() + 4 <= size && std::memcmp(fields.data(), data, fields.size()) == 0,
        "title, reporter or flags differ from the payload");
  vnscope::test::Bytes state;
  vnscope::test::PutU32(state, record.state);
  Check(std::memcmp(state.data(), data + size - 4, 4) == 0, "state is not the payload's last word");
  return 0;
}
