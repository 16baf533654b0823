#include "server/report_name.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace vnscope::server {

std::string FormatReportName(int64_t unix_ms, int64_t sequence) {
  using namespace std::chrono;
  const sys_seconds when = floor<seconds>(sys_time<milliseconds>(milliseconds(unix_ms)));
  const sys_days day = floor<days>(when);
  const year_month_day date(day);
  const hh_mm_ss time(when - day);
  char text[64];
  std::snprintf(text, sizeof text, "%04d%02u%02u-%02d%02d%02d-%06lld", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()), static_cast<long long>(sequence));
  return text;
}

bool LooksLikeReportName(const std::string& name) {
  // 8 date digits, '-', 6 time digits, '-', at least 6 sequence digits.
  if (name.size() < 22 || name.size() > 40 || name[8] != '-' || name[15] != '-') return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (i == 8 || i == 15) continue;
    if (name[i] < '0' || name[i] > '9') return false;
  }
  return true;
}

}  // namespace vnscope::server
