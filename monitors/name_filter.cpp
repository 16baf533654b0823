#include "monitors/name_filter.h"

#include <algorithm>

namespace vnscope {
namespace {

char16_t FoldAscii(char16_t unit) { return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit; }

}  // namespace

NameFilter::NameFilter(std::u16string_view text) : text_(text), folded_(text) {
  std::transform(folded_.begin(), folded_.end(), folded_.begin(), FoldAscii);
}

bool NameFilter::Matches(std::u16string_view name) const {
  if (folded_.empty()) return true;
  if (name.size() < folded_.size()) return false;
  const char16_t first = folded_.front();
  const size_t last = name.size() - folded_.size();
  for (size_t start = 0; start <= last; ++start) {
    // Most starts fail on their first unit: test it before the rest.
    if (FoldAscii(name[start]) != first) continue;
    size_t i = 1;
    while (i < folded_.size() && FoldAscii(name[start + i]) == folded_[i]) ++i;
    if (i == folded_.size()) return true;
  }
  return false;
}

std::vector<VariableRow> FilterRows(const std::vector<VariableRow>& rows, const std::vector<Variable>& table,
                                    const NameFilter& filter) {
  std::vector<VariableRow> shown;
  auto matches = [&](const VariableRow& row) {
    return filter.Matches(table[static_cast<size_t>(row.index)].name);
  };
  for (const VariableRow& row : rows) {
    if (!IsGroup(row)) {
      if (matches(row)) shown.push_back({kRowPlain, row.index, {}});
      continue;
    }
    std::vector<VariableRow> members;
    for (const VariableRow& member : row.members) {
      if (matches(member)) members.push_back({kRowMember, member.index, {}});
    }
    if (members.empty()) continue;
    members.back().kind = kRowLastMember;
    const int32_t first = members.front().index;
    shown.push_back({kRowExpandedGroup, first, std::move(members)});
  }
  return shown;
}

}  // namespace vnscope
