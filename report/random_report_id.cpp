#include "report/random_report_id.h"

#include <windows.h>
// After <windows.h>, which it relies on.
#include <bcrypt.h>

#include "report/protocol/report_id.h"

namespace vnscope {

std::string NewReportId() {
  // Ids from two testers' machines must never meet on the server: a clock or
  // a counter could, 128 bits from the system's generator will not.
  ReportIdBits bits{};
  if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, bits.data(), static_cast<ULONG>(bits.size()),
                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    return {};
  }
  return FormatReportId(bits);
}

}  // namespace vnscope
