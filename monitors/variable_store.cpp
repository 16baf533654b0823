#include "monitors/variable_store.h"

#include <bit>
#include <cstring>

#include "monitors/decimal.h"
#include "monitors/monitor_limits.h"

namespace vnscope {
namespace {

constexpr char16_t kHashSigil = u'#';
constexpr char16_t kAtSigil = u'@';

void AppendDecimal(std::u16string* text, int32_t value) {
  // Digits of the magnitude in 64 bits: -2^31 has no 32-bit magnitude.
  int64_t magnitude = value;
  if (magnitude < 0) {
    text->push_back(u'-');
    magnitude = -magnitude;
  }
  char16_t digits[12];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0) text->push_back(digits[--count]);
}

void CutToCellLength(std::u16string* text) {
  if (text->size() > kMaxVariableCellText) text->resize(kMaxVariableCellText);
}

size_t FirstDot(std::u16string_view name) { return name.find(u'.'); }

}  // namespace

void VariableStore::AddName(std::u16string_view name) {
  if (name.empty()) return;
  if (name.front() == kHashSigil) pendingHash_.emplace_back(name);
  if (name.front() == kAtSigil) pendingAt_.emplace_back(name);
}

void VariableStore::Commit(std::span<const RegisterBinding> registerMap) { CommitRecord(std::as_bytes(registerMap)); }

void VariableStore::CommitRecord(std::span<const std::byte> registerMap) {
  const size_t hashCount = pendingHash_.size();
  table_.clear();
  table_.reserve(hashCount + pendingAt_.size());
  for (auto* pending : {&pendingHash_, &pendingAt_}) {
    for (std::u16string& name : *pending) table_.push_back(Variable{std::move(name)});
    pending->clear();
  }
  for (size_t at = 0; registerMap.size() - at >= sizeof(RegisterBinding); at += sizeof(RegisterBinding)) {
    RegisterBinding binding;
    std::memcpy(&binding, registerMap.data() + at, sizeof(binding));
    // 64 bits: index + H must not wrap for an index near the int32 limit.
    const int64_t target = binding.scope == kAtScope ? int64_t{binding.index} + int64_t(hashCount)
                                                     : int64_t{binding.index};
    if (target < 0 || target >= static_cast<int64_t>(table_.size())) continue;
    table_[static_cast<size_t>(target)].registerNumber = binding.registerNumber;
  }
  BuildRows();
  BuildVisibleIndex();
}

void VariableStore::BuildRows() {
  rows_.clear();
  const size_t count = table_.size();
  for (size_t i = 0; i < count;) {
    const std::u16string& name = table_[i].name;
    const size_t dot = FirstDot(name);
    if (dot == std::u16string::npos) {
      rows_.push_back({kRowPlain, static_cast<int32_t>(i), {}});
      ++i;
      continue;
    }
    const std::u16string_view prefix(name.data(), dot);
    VariableRow group{kRowCollapsedGroup, static_cast<int32_t>(i), {}};
    // Only consecutive names join, and only on the prefix units: "#flags"
    // right after "#flag.a" belongs to the group "#flag".
    size_t j = i;
    while (j < count) {
      const std::u16string& candidate = table_[j].name;
      // Variable i is a member by definition, whatever the comparison says.
      if (j != i && (candidate.size() < dot ||
                     !prefixEquals_(prefix, std::u16string_view(candidate.data(), dot)))) {
        break;
      }
      group.members.push_back({kRowMember, static_cast<int32_t>(j), {}});
      ++j;
    }
    group.members.back().kind = kRowLastMember;
    rows_.push_back(std::move(group));
    i = j;
  }
}

size_t VariableStore::VisibleSpan(size_t top) const {
  const VariableRow& row = rows_[top];
  return 1 + (row.kind == kRowExpandedGroup ? row.members.size() : 0);
}

void VariableStore::BuildVisibleIndex() {
  // Linear construction: each node passes its sum on to its parent once.
  const size_t size = rows_.size();
  visibleTree_.assign(size + 1, 0);
  visibleCount_ = 0;
  for (size_t i = 1; i <= size; ++i) {
    visibleTree_[i] += VisibleSpan(i - 1);
    visibleCount_ += VisibleSpan(i - 1);
    const size_t parent = i + (i & (~i + 1));
    if (parent <= size) visibleTree_[parent] += visibleTree_[i];
  }
}

void VariableStore::AddToVisibleIndex(size_t top, int64_t delta) {
  for (size_t i = top + 1; i < visibleTree_.size(); i += i & (~i + 1)) {
    visibleTree_[i] = static_cast<size_t>(static_cast<int64_t>(visibleTree_[i]) + delta);
  }
  visibleCount_ = static_cast<size_t>(static_cast<int64_t>(visibleCount_) + delta);
}

std::optional<VisibleRow> VariableStore::RowAt(size_t visible) const {
  if (visible >= visibleCount_) return std::nullopt;
  // Descend the tree for the last top-level row whose start is at or before
  // `visible`; what is left over is the offset inside that row.
  const size_t size = rows_.size();
  size_t top = 0;
  size_t remaining = visible;
  for (size_t step = std::bit_floor(size); step != 0; step >>= 1) {
    if (top + step <= size && visibleTree_[top + step] <= remaining) {
      top += step;
      remaining -= visibleTree_[top];
    }
  }
  return VisibleRow{top, static_cast<int32_t>(remaining) - 1};
}

const VariableRow& VariableStore::Row(VisibleRow at) const {
  const VariableRow& top = rows_[at.top];
  return at.member < 0 ? top : top.members[static_cast<size_t>(at.member)];
}

bool VariableStore::Toggle(size_t top) {
  if (top >= rows_.size()) return false;
  VariableRow& row = rows_[top];
  if (row.kind != kRowCollapsedGroup && row.kind != kRowExpandedGroup) return false;
  const int64_t members = static_cast<int64_t>(row.members.size());
  row.kind = row.kind == kRowCollapsedGroup ? kRowExpandedGroup : kRowCollapsedGroup;
  AddToVisibleIndex(top, row.kind == kRowExpandedGroup ? members : -members);
  return true;
}

bool VariableStore::SetValue(int32_t position, std::u16string_view text) {
  Variable* variable = VariableAt(position);
  if (!variable) return false;
  variable->value = ParseDecimal(text);
  return true;
}

Variable* VariableStore::VariableAt(int32_t position) {
  if (position < 0 || static_cast<size_t>(position) >= table_.size()) return nullptr;
  return &table_[static_cast<size_t>(position)];
}

std::optional<VariableCell> VariableStore::Cell(size_t visible, int column) const {
  const std::optional<VisibleRow> at = RowAt(visible);
  if (!at) return std::nullopt;
  const VariableRow& row = Row(*at);
  const Variable& variable = table_[static_cast<size_t>(row.index)];
  VariableCell cell;
  const bool group = row.kind == kRowCollapsedGroup || row.kind == kRowExpandedGroup;
  if (group) {
    cell.stateImage = row.kind == kRowCollapsedGroup ? 1 : 2;
    if (column == 0) {
      cell.text = variable.name.substr(0, FirstDot(variable.name));
    } else if (column == 1 && row.kind == kRowCollapsedGroup) {
      cell.text.push_back(u'{');
      for (const VariableRow& member : row.members) {
        // Stop as soon as the cut is certain: a group can hold thousands.
        if (cell.text.size() > kMaxVariableCellText) break;
        if (&member != &row.members.front()) cell.text.push_back(u',');
        AppendDecimal(&cell.text, table_[static_cast<size_t>(member.index)].value);
      }
      cell.text.push_back(u'}');
    }
  } else if (column == 0) {
    if (row.kind == kRowPlain) {
      cell.text = variable.name;
    } else {
      const size_t dot = FirstDot(variable.name);
      if (dot != std::u16string::npos) {
        cell.text = u"  ";
        cell.text.append(variable.name, dot + 1);
        cell.stateImage = row.kind == kRowLastMember ? 4 : 3;
      }
    }
  } else if (column == 1) {
    AppendDecimal(&cell.text, variable.value);
  } else if (column == 2 && variable.registerNumber >= 0) {
    cell.text = u"[";
    AppendDecimal(&cell.text, variable.registerNumber);
    cell.text.push_back(u']');
  }
  CutToCellLength(&cell.text);
  return cell;
}

}  // namespace vnscope
