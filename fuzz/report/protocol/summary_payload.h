// A ReportSummary payload as the server sends it, for the protocol's seed
// writers: the author entry as the tests build it, then the state.
#pragma once
#include <cstdint>
#include <string_view>

#include "test_support.h"

namespace vnscope::fuzz {

inline test::Bytes SummaryPayload(std::u16string_view title, std::u16string_view reporter, uint32_t flags,
                                  uint32_t state) {
  test::Bytes payload = test::AuthorEntry(title, reporter, flags);
  test::PutU32(payload, state);
  return payload;
}

}  // namespace vnscope::fuzz
