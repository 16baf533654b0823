// How reports are shown to the people who triage them: the label and colour
// of every state and the four tabs with their filters. One table for the
// report browser in the DLL and the report server's dashboard, so that both
// list the same reports under the same tab with the same colour.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "report/protocol/report_types.h"

namespace vnscope {

struct ReportColour {
  uint8_t red;
  uint8_t green;
  uint8_t blue;
};

struct ReportStateLook {
  uint32_t state;
  std::u16string_view label;
  std::optional<ReportColour> colour;  // none: the list's default text colour
};

// The five states the browser names, in the order its menu offers them.
inline constexpr ReportStateLook kReportStateLooks[] = {
    {ReportState::New, u"新着", std::nullopt},
    {ReportState::RefixRequested, u"再修正依頼", ReportColour{255, 0, 0}},
    {ReportState::Fixed, u"修正済", ReportColour{128, 128, 128}},
    {ReportState::Confirmed, u"完了", ReportColour{192, 192, 192}},
    {ReportState::NoProblem, u"問題なし", ReportColour{192, 240, 240}},
};

// The look of a named state, or null for a value outside the table.
constexpr const ReportStateLook* FindReportStateLook(uint32_t state) {
  for (const auto& look : kReportStateLooks) {
    if (look.state == state) return &look;
  }
  return nullptr;
}

// The state column's text; empty for a state without a name of its own.
constexpr std::u16string_view ReportStateLabel(uint32_t state) {
  const ReportStateLook* look = FindReportStateLook(state);
  return look != nullptr ? look->label : std::u16string_view();
}

// Text colour of a report's row; none means the list's default.
constexpr std::optional<ReportColour> ReportStateColour(uint32_t state) {
  const ReportStateLook* look = FindReportStateLook(state);
  return look != nullptr ? look->colour : std::nullopt;
}

// The browser's tabs, by tab index.
enum ReportFilter : int {
  kAllWithText = 0,       // "TXT全件"
  kOpenWithText = 1,      // "TXT未処理"
  kAllWithSnapshot = 2,   // "SS付き全件"
  kOpenWithSnapshot = 3,  // "SS付き未処理"
};

struct ReportTab {
  int filter;
  std::u16string_view caption;
};

// The tabs by index; the browser shows "TXT未処理" after every list fetch.
inline constexpr ReportTab kReportTabs[] = {
    {kAllWithText, u"TXT全件"},
    {kOpenWithText, u"TXT未処理"},
    {kAllWithSnapshot, u"SS付き全件"},
    {kOpenWithSnapshot, u"SS付き未処理"},
};

// Whether the tab `filter` lists a report with these flags and state. An
// index outside 0 to 3 lists every report.
constexpr bool ReportPassesFilter(uint32_t flags, uint32_t state, int filter) {
  const bool has_text = (flags & ReportFlags::HasText) != 0;
  const bool has_snapshot = (flags & ReportFlags::HasSnapshot) != 0;
  switch (filter) {
    case kAllWithText: return has_text;
    case kOpenWithText: return has_text && !IsDealtWith(state);
    case kAllWithSnapshot: return has_snapshot;
    case kOpenWithSnapshot: return has_snapshot && !IsDealtWith(state);
    default: return true;
  }
}

}  // namespace vnscope
