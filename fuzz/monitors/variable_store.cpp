// The variable list's store fed random sequences of what the engine and the
// tester send: names, values, register maps, commits, toggles and the list
// view's text queries. A literal model (plain vectors, the grouping walked
// name by name, texts built whole and then cut) must agree with it after
// every step, and the visible-row index with a walk over the rows.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/monitors/variable_store_ops.h"
#include "monitors/monitor_limits.h"
#include "monitors/prefix_comparisons.h"
#include "monitors/variable_store.h"

namespace vnscope::fuzz {
namespace {

using namespace variable_store;

// Enough names for groups far longer than a cell and many visible rows.
constexpr size_t kMaxNames = 3000;

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// wcstol's reading through the C library's strtoll, clamped to 32 bits.
int32_t WcstolValue(std::u16string_view text) {
  std::string narrow;
  for (char16_t unit : text) narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '\x01');
  const long long value = std::strtoll(narrow.c_str(), nullptr, 10);
  return static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

std::u16string Cut(std::u16string text) {
  if (text.size() > kMaxVariableCellText) text.resize(kMaxVariableCellText);
  return text;
}

struct ModelRow {
  size_t first = 0;  // table position of the row, or of a group's first member
  size_t members = 0;  // 0: a plain row
  bool expanded = false;
};

class Session {
 public:
  explicit Session(PrefixEquals equals) : equals_(equals), store_(equals) {}

  void Run(OpReader& in) {
    while (!in.empty()) {
      switch (in.U8() % kOps) {
        case kAddName: AddName(Name(in)); break;
        case kAddGroup: AddGroup(in); break;
        case kSetValue: SetValue(in); break;
        case kCommit: Commit(in); break;
        case kToggle: Toggle(in.Below(static_cast<uint32_t>(rows_.size() + 2))); break;
        case kQuery: Query(in.Below(static_cast<uint32_t>(visible_.size() + 3)), static_cast<int>(in.Below(5)) - 1); break;
        default: CheckAll(); break;
      }
    }
    CheckAll();
  }

 private:
  // A name from kNameUnits; now and then one past the cut.
  static std::u16string Name(OpReader& in) {
    const uint8_t length = in.U8();
    std::u16string name;
    for (size_t i = 0; i < length % 24; ++i) name.push_back(kNameUnits[in.Below(kNameUnits.size())]);
    if (length >= 250) name.append(300, u'n');
    return name;
  }

  void AddName(const std::u16string& name) {
    if (pendingHash_.size() + pendingAt_.size() >= kMaxNames) return;
    store_.AddName(name);
    if (!name.empty() && name[0] == u'#') pendingHash_.push_back(name);
    if (!name.empty() && name[0] == u'@') pendingAt_.push_back(name);
  }

  // Many members under one prefix, so that a collapsed group's values pass the cut.
  void AddGroup(OpReader& in) {
    const std::u16string prefix = (in.U8() % 2 ? u"#g" : u"@G") + Name(in).substr(0, 3) + u".";
    for (size_t n = 0, count = in.U8() + 1u; n < count; ++n) AddName(prefix + Ascii(std::to_string(n)));
  }

  void SetValue(OpReader& in) {
    // Positions around the table and any 32-bit value at all.
    const uint8_t how = in.U8();
    const int32_t position = how < 200 ? static_cast<int32_t>(in.Below(static_cast<uint32_t>(table_.size() + 2))) - 1
                                       : static_cast<int32_t>(in.U32());
    std::u16string text;
    for (size_t i = 0, length = in.U8() % 16; i < length; ++i)
      text.push_back(kValueUnits[in.Below(kValueUnits.size())]);
    const bool inside = position >= 0 && static_cast<size_t>(position) < table_.size();
    Check(store_.SetValue(position, text) == inside);
    if (inside) table_[static_cast<size_t>(position)].value = WcstolValue(text);
  }

  void Commit(OpReader& in) {
    std::vector<RegisterBinding> map(in.U8() % 24);
    for (RegisterBinding& binding : map) {
      binding.registerNumber = in.U16();
      const uint8_t scope = in.U8();
      binding.scope = scope < 128 ? kAtScope : scope < 250 ? 0 : static_cast<uint16_t>(in.U16());
      binding.index = scope % 8 == 0 ? static_cast<int32_t>(in.U32()) : static_cast<int32_t>(in.Below(64)) - 2;
    }
    store_.Commit(map);
    // The "#" names, then the "@" names; the map indexes this commit's names.
    const size_t hashCount = pendingHash_.size();
    table_.clear();
    for (auto* pending : {&pendingHash_, &pendingAt_}) {
      for (const std::u16string& name : *pending) table_.push_back(Variable{name});
      pending->clear();
    }
    for (const RegisterBinding& binding : map) {
      long long target = binding.index;
      if (binding.scope == kAtScope) target += static_cast<long long>(hashCount);
      if (target >= 0 && target < static_cast<long long>(table_.size())) table_[target].registerNumber = binding.registerNumber;
    }
    Group();
  }

  // Consecutive names with a "." join the first one's group when their units
  // before its first "." compare equal.
  void Group() {
    rows_.clear();
    for (size_t i = 0; i < table_.size();) {
      const std::u16string& name = table_[i].name;
      const size_t dot = name.find(u'.');
      size_t end = i + 1;
      if (dot != std::u16string::npos) {
        while (end < table_.size() && table_[end].name.size() >= dot &&
               equals_(std::u16string_view(name).substr(0, dot), std::u16string_view(table_[end].name).substr(0, dot)))
          ++end;
      }
      rows_.push_back({i, dot == std::u16string::npos ? 0 : end - i, false});
      i = end;
    }
    Walk();
  }

  void Toggle(size_t top) {
    const bool group = top < rows_.size() && rows_[top].members > 0;
    Check(store_.Toggle(top) == group);
    if (group) rows_[top].expanded = !rows_[top].expanded;
    Walk();
  }

  // Every visible row, one by one: (top-level row, member or -1).
  void Walk() {
    visible_.clear();
    for (size_t top = 0; top < rows_.size(); ++top) {
      visible_.push_back({top, -1});
      if (rows_[top].expanded)
        for (size_t m = 0; m < rows_[top].members; ++m) visible_.push_back({top, static_cast<int32_t>(m)});
    }
  }

  // The cell as the list view shows it, built whole and then cut.
  VariableCell Expected(VisibleRow at, int column) const {
    const ModelRow& row = rows_[at.top];
    const bool groupRow = row.members > 0 && at.member < 0;
    const size_t index = row.first + (at.member < 0 ? 0 : static_cast<size_t>(at.member));
    const Variable& variable = table_[index];
    VariableCell cell;
    if (groupRow) {
      cell.stateImage = row.expanded ? 2 : 1;
      if (column == 0) cell.text = variable.name.substr(0, variable.name.find(u'.'));
      if (column == 1 && !row.expanded) {
        std::string values;
        for (size_t m = 0; m < row.members; ++m)
          values += (m ? "," : "") + std::to_string(table_[row.first + m].value);
        cell.text = Ascii("{" + values + "}");
      }
    } else if (column == 0 && row.members == 0) {
      cell.text = variable.name;
    } else if (column == 0) {
      const size_t dot = variable.name.find(u'.');
      if (dot != std::u16string::npos) {
        cell.text = u"  " + variable.name.substr(dot + 1);
        cell.stateImage = static_cast<size_t>(at.member) + 1 == row.members ? 4 : 3;
      }
    } else if (column == 1) {
      cell.text = Ascii(std::to_string(variable.value));
    } else if (column == 2 && variable.registerNumber >= 0) {
      cell.text = Ascii("[" + std::to_string(variable.registerNumber) + "]");
    }
    cell.text = Cut(cell.text);
    return cell;
  }

  void Query(size_t visible, int column) {
    const std::optional<VariableCell> cell = store_.Cell(visible, column);
    Check(cell.has_value() == visible < visible_.size());
    if (!cell) return;
    const VariableCell expected = Expected(visible_[visible], column);
    Check(cell->text.size() <= kMaxVariableCellText);
    Check(cell->text == expected.text && cell->stateImage == expected.stateImage);
  }

  void CheckAll() {
    const std::vector<Variable>& table = store_.table();
    Check(table.size() == table_.size());
    for (size_t i = 0; i < table.size(); ++i)
      Check(table[i].name == table_[i].name && table[i].value == table_[i].value &&
            table[i].registerNumber == table_[i].registerNumber);
    const std::vector<VariableRow>& rows = store_.rows();
    Check(rows.size() == rows_.size());
    for (size_t top = 0; top < rows.size(); ++top) {
      const ModelRow& row = rows_[top];
      Check(rows[top].index == static_cast<int32_t>(row.first) && rows[top].members.size() == row.members);
      Check(rows[top].kind == (row.members == 0 ? kRowPlain : row.expanded ? kRowExpandedGroup : kRowCollapsedGroup));
      for (size_t m = 0; m < row.members; ++m)
        Check(rows[top].members[m].index == static_cast<int32_t>(row.first + m) &&
              rows[top].members[m].kind == (m + 1 == row.members ? kRowLastMember : kRowMember));
    }
    Check(store_.VisibleRowCount() == visible_.size());
    for (size_t n = 0; n < visible_.size(); ++n) {
      const std::optional<VisibleRow> at = store_.RowAt(n);
      Check(at && at->top == visible_[n].top && at->member == visible_[n].member);
    }
    Check(!store_.RowAt(visible_.size()) && !store_.Cell(visible_.size(), 0));
    // Every cell of the first rows, where the groups and their cuts are.
    for (size_t n = 0; n < std::min<size_t>(visible_.size(), 64); ++n)
      for (int column = 0; column < 3; ++column) Query(n, column);
  }

  PrefixEquals equals_;
  VariableStore store_;
  std::vector<std::u16string> pendingHash_, pendingAt_;
  std::vector<Variable> table_;
  std::vector<ModelRow> rows_;
  std::vector<VisibleRow> visible_;
};

}  // namespace
}  // namespace vnscope::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vnscope::fuzz::OpReader in(data, size);
  const bool folded = in.U8() % 2 == 1;
  vnscope::fuzz::Session session(folded ? vnscope::test::FoldedPrefix : vnscope::test::ExactPrefix);
  session.Run(in);
  return 0;
}
