// The variable list monitor's model: script variables announced by the engine,
// bound to registers, grouped into collapsible rows by the part of their name
// before the first ".", and the text each visible row shows.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vnscope {

struct Variable {
  std::u16string name;  // sigil included, as the engine sent it
  int32_t value = 0;
  int32_t registerNumber = -1;  // 0 to 65535, or -1 when unbound
};

enum VariableRowKind : int32_t {
  kRowLastMember = -3,
  kRowMember = -2,
  kRowPlain = -1,
  kRowCollapsedGroup = 0,
  kRowExpandedGroup = 1,
};

struct VariableRow {
  int32_t kind = kRowPlain;
  int32_t index = 0;                 // table position; a group's first member
  std::vector<VariableRow> members;  // a group's rows, in table order
};

// One entry of the engine's register map (8 bytes in the CommitVariables record).
struct RegisterBinding {
  uint16_t registerNumber;
  uint16_t scope;  // kAtScope: the index counts among the "@" names
  int32_t index;
};
static_assert(sizeof(RegisterBinding) == 8, "RegisterBinding mirrors the engine's 8-byte entry");

inline constexpr uint16_t kAtScope = 0x0102;

// Where a visible row sits: its top-level row and, for a member of an
// expanded group, the member's position in the group (-1: the row itself).
struct VisibleRow {
  size_t top = 0;
  int32_t member = -1;
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
  // table are skipped. All groups start collapsed.
  void Commit(std::span<const RegisterBinding> registerMap);
  // The same with the register map as the engine's record lies in memory:
  // its bytes / 8 entries of 8 bytes (the rest ignored), read in place at any
  // alignment, so that nothing is allocated for an entry count the engine gave.
  void CommitRecord(std::span<const std::byte> registerMap);

  // SetVariableValue: parses `text` as decimal; false (and no change) for a
  // position outside the table.
  bool SetValue(int32_t position, std::u16string_view text);

  size_t VisibleRowCount() const { return visibleCount_; }
  // The row at a visible position; none beyond the end.
  std::optional<VisibleRow> RowAt(size_t visible) const;
  const VariableRow& Row(VisibleRow at) const;
  // Expands a collapsed group or collapses an expanded one; false for any
  // other row.
  bool Toggle(size_t top);

  // The text and state image of a visible row in column 0 (name), 1 (value)
  // or 2 (register); none for a position without a row. Texts are cut at
  // kMaxVariableCellText units.
  std::optional<VariableCell> Cell(size_t visible, int column) const;

  const std::vector<Variable>& table() const { return table_; }
  const std::vector<VariableRow>& rows() const { return rows_; }
  Variable* VariableAt(int32_t position);

 private:
  void BuildRows();
  // Visible rows of top-level row `top` (itself plus its shown members).
  size_t VisibleSpan(size_t top) const;
  // The index of visible positions: a Fenwick tree over the top-level rows'
  // visible spans, so that finding a row and toggling a group both take
  // logarithmic time however long the list is.
  void BuildVisibleIndex();
  void AddToVisibleIndex(size_t top, int64_t delta);

  PrefixEquals prefixEquals_;
  std::vector<std::u16string> pendingHash_;
  std::vector<std::u16string> pendingAt_;
  std::vector<Variable> table_;
  std::vector<VariableRow> rows_;
  std::vector<size_t> visibleTree_;  // 1-based Fenwick tree over rows_
  size_t visibleCount_ = 0;
};

}  // namespace vnscope
