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
  auto matches = [&](const VariableRow& row) {
    return filter.Matches(table[static_cast<size_t>(row.index)].name);
  };
  // Every keystroke builds this anew: one allocation for the rows and one
  // for each group shown, sized by the matches gathered first.
  std::vector<VariableRow> shown;
  shown.reserve(rows.size());
  std::vector<int32_t> matching;
  for (const VariableRow& row : rows) {
    if (!IsGroup(row)) {
      if (matches(row)) shown.push_back({kRowPlain, row.index, {}});
      continue;
    }
    matching.clear();
    for (const VariableRow& member : row.members) {
      if (matches(member)) matching.push_back(member.index);
    }
    if (matching.empty()) continue;
    VariableRow group{kRowExpandedGroup, matching.front(), {}};
    group.members.reserve(matching.size());
    for (int32_t index : matching) group.members.push_back({kRowMember, index, {}});
    group.members.back().kind = kRowLastMember;
    shown.push_back(std::move(group));
  }
  return shown;
}

}  // namespace vnscope
