#include "monitors/variable_store.h"

#include <cstring>
#include <unordered_map>

#include "monitors/decimal.h"
#include "monitors/monitor_limits.h"

namespace vnscope {
namespace {

constexpr char16_t kHashSigil = u'#';
constexpr char16_t kAtSigil = u'@';

void CutToCellLength(std::u16string* text) {
  if (text->size() > kMaxVariableCellText) text->resize(kMaxVariableCellText);
}

size_t FirstDot(std::u16string_view name) { return name.find(u'.'); }

size_t VisibleSpan(const VariableRow& row) {
  return 1 + (row.kind == kRowExpandedGroup ? row.members.size() : 0);
}

// Marks the last of a group's members as such.
void MarkLastMember(std::vector<VariableRow>* members) {
  for (VariableRow& member : *members) member.kind = kRowMember;
  if (!members->empty()) members->back().kind = kRowLastMember;
}

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
  history_.Reset(table_.size());
  if (Filtering()) filtered_ = FilterRows(rows_, table_, filter_);
  ResolveWatches(true);
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
    MarkLastMember(&group.members);
    rows_.push_back(std::move(group));
    i = j;
  }
}

const VariableRow& VariableStore::Top(size_t top) const {
  return top < WatchTops() ? watchGroup_ : ShownRows()[top - WatchTops()];
}

void VariableStore::BuildVisibleIndex() {
  visible_.Build(WatchTops() + ShownRows().size(), [this](size_t top) { return VisibleSpan(Top(top)); });
}

std::optional<VisibleRow> VariableStore::RowAt(size_t visible) const {
  if (visible >= visible_.Count()) return std::nullopt;
  const VisibleIndex::Position at = visible_.Find(visible);
  return VisibleRow{at.top, static_cast<int32_t>(at.offset) - 1, at.top < WatchTops()};
}

const VariableRow& VariableStore::Row(VisibleRow at) const {
  const VariableRow& top = Top(at.top);
  return at.member < 0 ? top : top.members[static_cast<size_t>(at.member)];
}

bool VariableStore::Toggle(size_t top) {
  if (top >= WatchTops() + ShownRows().size()) return false;
  const size_t shown = top - WatchTops();
  VariableRow& row = top < WatchTops() ? watchGroup_ : Filtering() ? filtered_[shown] : rows_[shown];
  if (!IsGroup(row)) return false;
  const int64_t members = static_cast<int64_t>(row.members.size());
  row.kind = row.kind == kRowCollapsedGroup ? kRowExpandedGroup : kRowCollapsedGroup;
  visible_.Add(top, row.kind == kRowExpandedGroup ? members : -members);
  return true;
}

bool VariableStore::SetValue(int32_t position, std::u16string_view text) {
  Variable* variable = VariableAt(position);
  if (!variable) return false;
  variable->value = ParseDecimal(text);
  return true;
}

bool VariableStore::ReceiveValue(int32_t position, std::u16string_view text, ValueArrival when) {
  Variable* variable = VariableAt(position);
  if (!variable) return false;
  const int32_t value = ParseDecimal(text);
  if (value != variable->value) history_.Record(static_cast<size_t>(position), value, when);
  variable->value = value;
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
  if (IsGroup(row)) {
    cell.stateImage = row.kind == kRowCollapsedGroup ? 1 : 2;
    if (column == 0) {
      cell.text = at->watch ? std::u16string(kWatchGroupName) : variable.name.substr(0, FirstDot(variable.name));
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
    } else if (at->watch) {
      // Watched variables come from anywhere in the table: the full name.
      cell.text = variable.name;
      cell.stateImage = row.kind == kRowLastMember ? 4 : 3;
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

void VariableStore::SetFilter(std::u16string_view text) {
  filter_ = NameFilter(text);
  filtered_ = Filtering() ? FilterRows(rows_, table_, filter_) : std::vector<VariableRow>{};
  BuildVisibleIndex();
}

std::optional<int32_t> VariableStore::VariableOfRow(size_t visible) const {
  const std::optional<VisibleRow> at = RowAt(visible);
  if (!at) return std::nullopt;
  const VariableRow& row = Row(*at);
  if (IsGroup(row)) return std::nullopt;
  return row.index;
}

bool VariableStore::AddWatch(int32_t position) {
  const Variable* variable = VariableAt(position);
  if (!variable || !watches_.Add(variable->name)) return false;
  ResolveWatches(watchGroup_.members.empty());
  BuildVisibleIndex();
  return true;
}

bool VariableStore::RemoveWatch(int32_t position) {
  const Variable* variable = VariableAt(position);
  if (!variable || !watches_.Remove(variable->name)) return false;
  ResolveWatches(false);
  BuildVisibleIndex();
  return true;
}

bool VariableStore::Watched(int32_t position) const {
  if (position < 0 || static_cast<size_t>(position) >= table_.size()) return false;
  return watches_.Contains(table_[static_cast<size_t>(position)].name);
}

size_t VariableStore::WatchRowCount() const { return WatchTops() > 0 ? VisibleSpan(watchGroup_) : 0; }

void VariableStore::RestoreWatches(std::span<const std::u16string> names) {
  watches_.Assign(names);
  ResolveWatches(true);
  BuildVisibleIndex();
}

void VariableStore::ResolveWatches(bool expand) {
  watchGroup_.members.clear();
  if (watches_.empty()) return;
  // One pass over the table, each watched name taking its first position.
  std::unordered_map<std::u16string_view, int32_t> firstPosition;
  for (const std::u16string& name : watches_.names()) firstPosition.emplace(name, -1);
  size_t unresolved = firstPosition.size();
  for (size_t i = 0; i < table_.size() && unresolved > 0; ++i) {
    const auto found = firstPosition.find(table_[i].name);
    if (found == firstPosition.end() || found->second >= 0) continue;
    found->second = static_cast<int32_t>(i);
    --unresolved;
  }
  for (const std::u16string& name : watches_.names()) {
    const int32_t position = firstPosition[name];
    if (position >= 0) watchGroup_.members.push_back({kRowMember, position, {}});
  }
  MarkLastMember(&watchGroup_.members);
  if (!watchGroup_.members.empty()) watchGroup_.index = watchGroup_.members.front().index;
  if (expand) watchGroup_.kind = kRowExpandedGroup;
}

bool VariableStore::RowHighlighted(size_t visible, uint64_t now) const {
  const std::optional<VisibleRow> at = RowAt(visible);
  if (!at) return false;
  const VariableRow& row = Row(*at);
  if (!IsGroup(row)) return history_.Highlighted(static_cast<size_t>(row.index), now);
  // A collapsed group shows its members' values in its own row.
  if (row.kind != kRowCollapsedGroup) return false;
  for (const VariableRow& member : row.members) {
    if (history_.Highlighted(static_cast<size_t>(member.index), now)) return true;
  }
  return false;
}

std::u16string VariableStore::ValueTip(size_t visible) const {
  const std::optional<int32_t> position = VariableOfRow(visible);
  if (!position) return {};
  return FormatPastValues(history_.Past(static_cast<size_t>(*position)));
}

}  // namespace vnscope
