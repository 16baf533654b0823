#include "browser/report_table.h"

namespace vnscope {
namespace {

struct StateLook {
  uint32_t state;
  std::u16string_view label;
  std::optional<ReportColour> colour;
};

constexpr StateLook kStateLooks[] = {
    {ReportState::New, u"新着", std::nullopt},
    {ReportState::RefixRequested, u"再修正依頼", ReportColour{255, 0, 0}},
    {ReportState::Fixed, u"修正済", ReportColour{128, 128, 128}},
    {ReportState::Confirmed, u"完了", ReportColour{192, 192, 192}},
    {ReportState::NoProblem, u"問題なし", ReportColour{192, 240, 240}},
};

const StateLook* FindLook(uint32_t state) {
  for (const auto& look : kStateLooks) {
    if (look.state == state) return &look;
  }
  return nullptr;
}

}  // namespace

bool ReportPassesFilter(const ReportRecord& record, int filter) {
  const bool has_text = (record.flags & ReportFlags::HasText) != 0;
  const bool has_snapshot = (record.flags & ReportFlags::HasSnapshot) != 0;
  switch (filter) {
    case kAllWithText: return has_text;
    case kOpenWithText: return has_text && !IsDealtWith(record.state);
    case kAllWithSnapshot: return has_snapshot;
    case kOpenWithSnapshot: return has_snapshot && !IsDealtWith(record.state);
    default: return true;
  }
}

std::u16string_view ReportStateLabel(uint32_t state) {
  const StateLook* look = FindLook(state);
  return look != nullptr ? look->label : std::u16string_view();
}

std::u16string ReportStateText(uint32_t state) {
  const StateLook* look = FindLook(state);
  if (look != nullptr) return std::u16string(look->label);
  const std::string digits = std::to_string(state);
  return std::u16string(digits.begin(), digits.end());
}

std::optional<ReportColour> ReportStateColour(uint32_t state) {
  const StateLook* look = FindLook(state);
  return look != nullptr ? look->colour : std::nullopt;
}

}  // namespace vnscope
