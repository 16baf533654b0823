// The operations of the variable_store target's input, shared with its seeds.
#pragma once
#include <cstdint>
#include <string_view>

namespace vnscope::fuzz::variable_store {

// The input's first byte picks the prefix comparison (odd: ASCII case
// folded). Then each operation is one byte (modulo kOps) and its arguments:
// kAddName: name | kAddGroup: U8 sigil, name, U8 count - 1 | kSetValue: U8
// how, position, U8 length, units | kCommit: U8 entries, each U16 register,
// U8 scope, index | kToggle: row | kQuery: visible row, column + 1 |
// kCheckAll | kSetFilter: U8 length (modulo 4), units of a name | kWatch: U8
// even to add, odd to remove, position. A name is U8 length (250 and up: 300
// more units) and one byte a unit.
enum Op : uint8_t { kAddName, kAddGroup, kSetValue, kCommit, kToggle, kQuery, kCheckAll, kSetFilter, kWatch, kOps };

// The units names and values are made of, one byte (modulo the count) a
// unit. Names: sigils, dots, letters in both cases and a non-ASCII letter,
// so that groups form. Values: blanks, signs, digits, an "x" and a non-ASCII
// digit.
inline constexpr std::u16string_view kNameUnits = u"#@ab.A.B1\uFF21";
inline constexpr std::u16string_view kValueUnits = u" \t+-0123456789x\u0661";

}  // namespace vnscope::fuzz::variable_store
