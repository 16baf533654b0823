// The variable list's store fed random sequences of what the engine and the
// tester send: names, values, register maps, commits, toggles, filters,
// watches and the list view's text queries. A literal model (plain vectors,
// the grouping walked name by name, the filter and the watch group worked out
// afresh after every step, texts built whole and then cut) must agree with
// it after every step, and the visible-row index with a walk over the rows.
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

// A top-level row as the list shows it: the watch group, a row of the table,
// or a group the filter left some members of.
struct ShownTop {
  size_t position = 0;          // the variable, or a group's first shown member
  std::vector<size_t> members;  // a group's shown members; empty: a plain row
  bool expanded = false;
  bool watch = false;
  size_t source = 0;  // index into rows_, or the filtered group's ordinal
};

char16_t Fold(char16_t unit) { return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit; }

std::u16string Folded(std::u16string text) {
  for (char16_t& unit : text) unit = Fold(unit);
  return text;
}

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
        case kToggle: Toggle(in.Below(static_cast<uint32_t>(tops_.size() + 2))); break;
        case kSetFilter: SetFilter(in); break;
        case kWatch: Watch(in); break;
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
    // Odd: from the engine, which remembers a value that differs.
    const bool received = how % 2 == 1;
    Check((received ? store_.ReceiveValue(position, text, {++tick_, 0}) : store_.SetValue(position, text)) == inside);
    if (!inside) return;
    Variable& variable = table_[static_cast<size_t>(position)];
    const int32_t value = WcstolValue(text);
    if (received && value != variable.value) past_[static_cast<size_t>(position)].push_back(value);
    variable.value = value;
  }

  void SetFilter(OpReader& in) {
    std::u16string text;
    for (size_t i = 0, length = in.U8() % 4; i < length; ++i) text.push_back(kNameUnits[in.Below(kNameUnits.size())]);
    store_.SetFilter(text);
    filter_ = Folded(text);
    filteredExpanded_.clear();
    Walk();
  }

  // Watched by full name, once; shown at the name's first table position.
  void Watch(OpReader& in) {
    const bool add = in.U8() % 2 == 0;
    const size_t position = in.Below(static_cast<uint32_t>(table_.size() + 1));
    bool changed = false;
    if (position < table_.size()) {
      const auto found = std::find(watches_.begin(), watches_.end(), table_[position].name);
      if (add && found == watches_.end()) {
        // A group that was not shown comes expanded.
        if (tops_.empty() || !tops_.front().watch) watchExpanded_ = true;
        watches_.push_back(table_[position].name);
        changed = true;
      } else if (!add && found != watches_.end()) {
        watches_.erase(found);
        changed = true;
      }
    }
    const int32_t at = static_cast<int32_t>(position);
    Check((add ? store_.AddWatch(at) : store_.RemoveWatch(at)) == changed);
    Walk();
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
    past_.assign(table_.size(), {});
    watchExpanded_ = true;
    filteredExpanded_.clear();
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
    const bool group = top < tops_.size() && !tops_[top].members.empty();
    Check(store_.Toggle(top) == group);
    if (group) {
      const ShownTop& shown = tops_[top];
      if (shown.watch) {
        watchExpanded_ = !watchExpanded_;
      } else if (!filter_.empty()) {
        filteredExpanded_[shown.source] = !filteredExpanded_[shown.source];
      } else {
        rows_[shown.source].expanded = !rows_[shown.source].expanded;
      }
    }
    Walk();
  }

  bool Matches(size_t position) const { return Folded(table_[position].name).find(filter_) != std::u16string::npos; }

  // The top-level rows shown, then every visible row one by one: (top, member or -1).
  void Walk() {
    tops_.clear();
    ShownTop watch{0, {}, watchExpanded_, true, 0};
    for (const std::u16string& name : watches_) {
      for (size_t i = 0; i < table_.size(); ++i) {
        if (table_[i].name != name) continue;
        watch.members.push_back(i);
        break;
      }
    }
    if (!watch.members.empty()) {
      watch.position = watch.members.front();
      tops_.push_back(watch);
    }
    size_t filteredGroups = 0;
    for (size_t r = 0; r < rows_.size(); ++r) {
      const ModelRow& row = rows_[r];
      if (row.members == 0) {
        if (Matches(row.first)) tops_.push_back({row.first, {}, false, false, r});
        continue;
      }
      std::vector<size_t> members;
      for (size_t m = 0; m < row.members; ++m)
        if (Matches(row.first + m)) members.push_back(row.first + m);
      if (members.empty()) continue;
      if (filter_.empty()) {
        tops_.push_back({members.front(), members, row.expanded, false, r});
        continue;
      }
      // Each filter shows its groups expanded until toggled.
      if (filteredGroups == filteredExpanded_.size()) filteredExpanded_.push_back(true);
      tops_.push_back({members.front(), members, filteredExpanded_[filteredGroups], false, filteredGroups});
      ++filteredGroups;
    }
    visible_.clear();
    for (size_t top = 0; top < tops_.size(); ++top) {
      visible_.push_back({top, -1, tops_[top].watch});
      if (tops_[top].expanded)
        for (size_t m = 0; m < tops_[top].members.size(); ++m)
          visible_.push_back({top, static_cast<int32_t>(m), tops_[top].watch});
    }
  }

  // The cell as the list view shows it, built whole and then cut.
  VariableCell Expected(VisibleRow at, int column) const {
    const ShownTop& top = tops_[at.top];
    const bool groupRow = !top.members.empty() && at.member < 0;
    const size_t index = at.member < 0 ? top.position : top.members[static_cast<size_t>(at.member)];
    const Variable& variable = table_[index];
    const int memberImage = static_cast<size_t>(at.member) + 1 == top.members.size() ? 4 : 3;
    VariableCell cell;
    if (groupRow) {
      cell.stateImage = top.expanded ? 2 : 1;
      if (column == 0) cell.text = top.watch ? u"ウォッチ" : variable.name.substr(0, variable.name.find(u'.'));
      if (column == 1 && !top.expanded) {
        std::string values;
        for (size_t member : top.members) values += (values.empty() ? "" : ",") + std::to_string(table_[member].value);
        cell.text = Ascii("{" + values + "}");
      }
    } else if (column == 0 && top.members.empty()) {
      cell.text = variable.name;
    } else if (column == 0 && top.watch) {
      cell.text = variable.name;
      cell.stateImage = memberImage;
    } else if (column == 0) {
      const size_t dot = variable.name.find(u'.');
      if (dot != std::u16string::npos) {
        cell.text = u"  " + variable.name.substr(dot + 1);
        cell.stateImage = memberImage;
      }
    } else if (column == 1) {
      cell.text = Ascii(std::to_string(variable.value));
    } else if (column == 2 && variable.registerNumber >= 0) {
      cell.text = Ascii("[" + std::to_string(variable.registerNumber) + "]");
    }
    cell.text = Cut(cell.text);
    return cell;
  }

  // The last values the engine changed, newest first, at most eight; every
  // one arrived at 00:00:00.000.
  std::u16string ExpectedTip(VisibleRow at) const {
    const ShownTop& top = tops_[at.top];
    if (!top.members.empty() && at.member < 0) return {};
    const std::vector<int32_t>& past = past_[at.member < 0 ? top.position : top.members[static_cast<size_t>(at.member)]];
    std::string tip;
    for (size_t i = past.size(); i > 0 && i + 8 > past.size(); --i)
      tip += (tip.empty() ? "" : "\r\n") + std::string("00:00:00.000  ") + std::to_string(past[i - 1]);
    return Ascii(tip);
  }

  void Query(size_t visible, int column) {
    const std::optional<VariableCell> cell = store_.Cell(visible, column);
    Check(cell.has_value() == visible < visible_.size());
    if (!cell) return;
    const VariableCell expected = Expected(visible_[visible], column);
    Check(cell->text.size() <= kMaxVariableCellText);
    Check(cell->text == expected.text && cell->stateImage == expected.stateImage);
    Check(store_.ValueTip(visible) == ExpectedTip(visible_[visible]));
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
      Check(at && at->top == visible_[n].top && at->member == visible_[n].member && at->watch == visible_[n].watch);
    }
    Check(!store_.RowAt(visible_.size()) && !store_.Cell(visible_.size(), 0));
    Check(store_.WatchNames() == watches_);
    // Every cell of the first rows, where the groups and their cuts are.
    for (size_t n = 0; n < std::min<size_t>(visible_.size(), 64); ++n)
      for (int column = 0; column < 3; ++column) Query(n, column);
  }

  PrefixEquals equals_;
  VariableStore store_;
  std::vector<std::u16string> pendingHash_, pendingAt_;
  std::vector<Variable> table_;
  std::vector<ModelRow> rows_;
  std::u16string filter_;               // ASCII folded
  std::vector<bool> filteredExpanded_;  // by filtered group, in order
  std::vector<std::u16string> watches_;
  bool watchExpanded_ = true;
  std::vector<std::vector<int32_t>> past_;  // by table position
  uint64_t tick_ = 1;
  std::vector<ShownTop> tops_;
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
