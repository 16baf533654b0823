// The variable list monitor's model: script variables announced by the engine,
// bound to registers, grouped into collapsible rows by the part of their name
// before the first ".", and the text each visible row shows. On top of the
// rows: a find-as-you-type filter, a watch group of the variables the tester
// follows, and the values the engine changed lately.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "monitors/name_filter.h"
#include "monitors/value_history.h"
#include "monitors/variable_rows.h"
#include "monitors/visible_index.h"
#include "monitors/watch_list.h"

namespace vnscope {

// One entry of the engine's register map (8 bytes in the CommitVariables record).
struct RegisterBinding {
  uint16_t registerNumber;
  uint16_t scope;  // kAtScope: the index counts among the "@" names
  int32_t index;
};
static_assert(sizeof(RegisterBinding) == 8, "RegisterBinding mirrors the engine's 8-byte entry");

inline constexpr uint16_t kAtScope = 0x0102;

// The watch group's name cell.
inline constexpr std::u16string_view kWatchGroupName = u"ウォッチ";

// Where a visible row sits: its top-level row and, for a member of an
// expanded group, the member's position in the group (-1: the row itself).
// With watches, top-level row 0 is the watch group (`watch` set for it and
// its members) and the table's rows follow.
struct VisibleRow {
  size_t top = 0;
  int32_t member = -1;
  bool watch = false;
};

// What a cell shows: its text and its state image (0 none, 1 collapsed
// group, 2 expanded group, 3 member, 4 last member).
struct VariableCell {
  std::u16string text;
  int stateImage = 0;
};

// Whether the first units of two names are the same prefix. The DLL passes
// the system locale's comparison (CompareStringW, locale 0x0800, no flags);
// both views have the same length.
using PrefixEquals = bool (*)(std::u16string_view a, std::u16string_view b);

class VariableStore {
 public:
  explicit VariableStore(PrefixEquals prefixEquals) : prefixEquals_(prefixEquals) {}

  // AddVariableName: queues a name by its sigil ("#" or "@"); any other
  // first unit, or an empty name, is dropped.
  void AddName(std::u16string_view name);

  // CommitVariables: the queued "#" names then the queued "@" names become
  // the table, replacing any earlier table, so that a second commit lists
  // each variable once; the register map indexes this commit's names ("@"
  // entries counted after the "#" names). Entries that point outside the
  // table are skipped. All groups start collapsed, the watch group expanded;
  // a filter in use applies to the new table; the values' past is forgotten.
  void Commit(std::span<const RegisterBinding> registerMap);
  // The same with the register map as the engine's record lies in memory:
  // its bytes / 8 entries of 8 bytes (the rest ignored), read in place at any
  // alignment, so that nothing is allocated for an entry count the engine gave.
  void CommitRecord(std::span<const std::byte> registerMap);

  // A value the tester typed: parses `text` as decimal; false (and no
  // change) for a position outside the table. Not highlighted.
  bool SetValue(int32_t position, std::u16string_view text);
  // SetVariableValue: as SetValue; a value that differs from the one shown
  // is remembered with its arrival and highlighted.
  bool ReceiveValue(int32_t position, std::u16string_view text, ValueArrival when);

  size_t VisibleRowCount() const { return visible_.Count(); }
  // The row at a visible position; none beyond the end.
  std::optional<VisibleRow> RowAt(size_t visible) const;
  const VariableRow& Row(VisibleRow at) const;
  // Expands a collapsed group or collapses an expanded one (the watch group
  // included); false for any other row. While filtered, only the filtered
  // view changes: the groups' own state comes back with the whole list.
  bool Toggle(size_t top);

  // The text and state image of a visible row in column 0 (name), 1 (value)
  // or 2 (register); none for a position without a row. Texts are cut at
  // kMaxVariableCellText units.
  std::optional<VariableCell> Cell(size_t visible, int column) const;

  // Find as you type: only the variables whose full name holds `text` are
  // shown (NameFilter), groups expanded with their matching members only;
  // the watch group stays whole. An empty text shows every row again, each
  // group as it was before.
  void SetFilter(std::u16string_view text);
  bool Filtering() const { return !filter_.empty(); }

  // The table position of the variable a visible row shows; none for a
  // group row or a position without a row.
  std::optional<int32_t> VariableOfRow(size_t visible) const;

  // Watching by full name: a name repeated in the table is watched once and
  // shown once, at its first position. False when nothing changed.
  bool AddWatch(int32_t position);
  bool RemoveWatch(int32_t position);
  bool Watched(int32_t position) const;
  // The watch file's names, restored: names the table lacks stay in the
  // list but are not shown.
  void RestoreWatches(std::span<const std::u16string> names);
  const std::vector<std::u16string>& WatchNames() const { return watches_.names(); }
  // The visible rows the watch group takes at the top of the list (0: none).
  size_t WatchRowCount() const;

  // Whether a visible row is drawn highlighted at `now`: a variable whose
  // value the engine changed lately, or a collapsed group holding one.
  bool RowHighlighted(size_t visible, uint64_t now) const;
  void ClearHighlights() { history_.ClearHighlights(); }
  bool ExpireHighlights(uint64_t now) { return history_.Expire(now); }
  std::optional<uint64_t> NextHighlightExpiry() const { return history_.NextExpiry(); }
  // The tooltip of a variable row's value: its last values with their
  // arrival times (FormatPastValues); empty for other rows.
  std::u16string ValueTip(size_t visible) const;

  const std::vector<Variable>& table() const { return table_; }
  const std::vector<VariableRow>& rows() const { return rows_; }
  Variable* VariableAt(int32_t position);

 private:
  void BuildRows();
  // The top-level rows below the watch group: the filtered ones or all.
  const std::vector<VariableRow>& ShownRows() const { return Filtering() ? filtered_ : rows_; }
  size_t WatchTops() const { return watchGroup_.members.empty() ? 0 : 1; }
  const VariableRow& Top(size_t top) const;
  // Finds the watched names' first table positions and rebuilds the watch
  // group from them, in watch order.
  void ResolveWatches(bool expand);
  void BuildVisibleIndex();

  PrefixEquals prefixEquals_;
  std::vector<std::u16string> pendingHash_;
  std::vector<std::u16string> pendingAt_;
  std::vector<Variable> table_;
  std::vector<VariableRow> rows_;
  NameFilter filter_;
  std::vector<VariableRow> filtered_;
  WatchList watches_;
  VariableRow watchGroup_{kRowExpandedGroup, 0, {}};
  ValueHistory history_;
  VisibleIndex visible_;  // over the watch group (when shown) and ShownRows()
};

}  // namespace vnscope
