// Seeds for the protocol's parsers, made by the tests' builders.
#include "seeds/seed_registry.h"
#include "test_support.h"

namespace vnscope::fuzz {
namespace {

using test::AuthorEntry;
using test::PutU32;

SeedBytes Summary(std::u16string_view title, std::u16string_view reporter, uint32_t flags, uint32_t state) {
  test::Bytes payload = AuthorEntry(title, reporter, flags);
  PutU32(payload, state);
  return payload;
}

const SeedWriter kSummary("report_summary", [] {
  return Seeds{
      {"plain", Summary(u"T", u"R", 3, 1)},
      {"japanese", Summary(u"セーブ後に落ちる", u"tester", 1, 0x80000000)},
      {"empty-strings", Summary(u"", u"", 0, 0)},
  };
});

}  // namespace
}  // namespace vnscope::fuzz
