// Seeds for variable_store: the cases of the store's tests spelled as the
// engine sends them (names in the target's alphabet: # @ a b . A . B 1 U+FF21).
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "fuzz/monitors/variable_store_ops.h"
#include "seeds/seed_registry.h"

namespace vnscope::fuzz {
namespace {

using namespace variable_store;

// A text's characters as their places in `units`; a seed with any other
// character stops the writer, since the target would read another unit.
OpWriter& Units(OpWriter& out, std::u16string_view units, std::string_view text) {
  for (char c : text) {
    const size_t at = units.find(static_cast<char16_t>(c));
    Check(at != units.npos, "a seed's character is not in the target's units");
    out.U8(static_cast<uint8_t>(at));
  }
  return out;
}

OpWriter& AddName(OpWriter& out, std::string_view name) {
  return Units(out.U8(kAddName).U8(static_cast<uint8_t>(name.size())), kNameUnits, name);
}

OpWriter& SetValue(OpWriter& out, uint8_t position, std::string_view digits) {
  out.U8(kSetValue).U8(0).U8(static_cast<uint8_t>(position + 1)).U8(static_cast<uint8_t>(digits.size()));
  return Units(out, kValueUnits, digits);
}

// A value the engine sends: remembered for the tooltip when it differs.
OpWriter& ReceiveValue(OpWriter& out, uint8_t position, std::string_view digits) {
  out.U8(kSetValue).U8(1).U8(static_cast<uint8_t>(position + 1)).U8(static_cast<uint8_t>(digits.size()));
  return Units(out, kValueUnits, digits);
}

OpWriter& SetFilter(OpWriter& out, std::string_view text) {
  return Units(out.U8(kSetFilter).U8(static_cast<uint8_t>(text.size())), kNameUnits, text);
}

OpWriter& Watch(OpWriter& out, bool add, uint8_t position) { return out.U8(kWatch).U8(add ? 0 : 1).U8(position); }

// A register map entry: index counted among all names, or among the "@" ones.
OpWriter& Commit(OpWriter& out, std::initializer_list<std::pair<uint16_t, int>> hashEntries) {
  out.U8(kCommit).U8(static_cast<uint8_t>(hashEntries.size()));
  for (const auto& [registerNumber, index] : hashEntries) out.U16(registerNumber).U8(201).U8(static_cast<uint8_t>(index + 2));
  return out;
}

const SeedWriter kVariableStore("variable_store", [] {
  OpWriter worked, noDot, longTexts, secondCommit, folded, filterWatch;
  worked.U8(0);
  AddName(AddName(AddName(worked, "#a.a"), "#a.b"), "#b");
  Commit(worked, {{7, 2}, {0, 1}});
  SetValue(SetValue(SetValue(worked, 0, "3"), 1, "-1"), 2, " 99999999999");
  worked.U8(kCheckAll).U8(kToggle).U8(0).U8(kCheckAll);

  noDot.U8(0);
  AddName(AddName(AddName(noDot, "#a.b"), "#ab"), "#b.");
  Commit(noDot, {}).U8(kToggle).U8(0).U8(kToggle).U8(1).U8(kCheckAll);

  longTexts.U8(0).U8(kAddName).U8(251).U8(0).U8(kAddGroup).U8(1).U8(2).U8(2).U8(3).U8(199);
  Commit(longTexts, {}).U8(kCheckAll);

  secondCommit.U8(0);
  AddName(AddName(AddName(secondCommit, "#a.a"), "#a.b"), "@b");
  Commit(secondCommit, {{1, 0}}).U8(kToggle).U8(0);
  AddName(AddName(secondCommit, "@a"), "#B");
  Commit(secondCommit, {{3, 0}}).U8(kCheckAll);

  folded.U8(1);
  AddName(AddName(AddName(folded, "#A.a"), "#a.b"), "#Ab.1");
  Commit(folded, {}).U8(kToggle).U8(0).U8(kCheckAll);
  // A filter over groups and a watch group above it; the watched "#b" is
  // in the table twice.
  filterWatch.U8(0);
  AddName(AddName(AddName(AddName(filterWatch, "#a.a"), "#a.b"), "#b"), "#b");
  Commit(filterWatch, {});
  ReceiveValue(ReceiveValue(ReceiveValue(filterWatch, 2, "5"), 2, "5"), 3, "7");
  Watch(Watch(filterWatch, true, 3), true, 0).U8(kCheckAll);
  SetFilter(filterWatch, "A.B").U8(kCheckAll).U8(kToggle).U8(1).U8(kToggle).U8(0).U8(kCheckAll);
  Watch(SetFilter(filterWatch, ""), false, 2).U8(kCheckAll);
  return Seeds{{"worked-example", worked.bytes()}, {"member-without-dot", noDot.bytes()},
               {"long-texts", longTexts.bytes()},  {"second-commit", secondCommit.bytes()},
               {"folded-case", folded.bytes()},    {"filter-and-watch", filterWatch.bytes()}};
});

}  // namespace
}  // namespace vnscope::fuzz
