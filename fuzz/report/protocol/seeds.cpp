// Seeds for the protocol's parsers, made by the tests' builders.
#include "fuzz/report/protocol/summary_payload.h"
#include "seeds/seed_registry.h"

namespace vnscope::fuzz {
namespace {

const SeedWriter kSummary("report_summary", [] {
  return Seeds{
      {"plain", SummaryPayload(u"T", u"R", 3, 1)},
      {"japanese", SummaryPayload(u"セーブ後に落ちる", u"tester", 1, 0x80000000)},
      {"empty-strings", SummaryPayload(u"", u"", 0, 0)},
  };
});

}  // namespace
}  // namespace vnscope::fuzz
