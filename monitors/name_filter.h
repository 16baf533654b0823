// Find-as-you-type over variable names: which names hold the typed text, and
// the rows a filtered list shows.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "monitors/variable_rows.h"

namespace vnscope {

// A name matches when it contains the text anywhere. ASCII letters compare
// without regard to case (testers type "flag" for "#Flag.a"); every other
// unit, Japanese included, compares exactly, so the match never depends on
// the locale.
class NameFilter {
 public:
  NameFilter() = default;
  explicit NameFilter(std::u16string_view text);

  bool empty() const { return folded_.empty(); }
  const std::u16string& text() const { return text_; }
  // True for every name when the filter is empty.
  bool Matches(std::u16string_view name) const;

 private:
  std::u16string text_;
  std::u16string folded_;
};

// The rows a filter leaves of `rows`: plain variables that match, and each
// group with a matching member, expanded, holding only its matching members
// (the last of them marked as last). Kinds of `rows` are not read for plain
// variables and not changed: clearing the filter shows them as they were.
std::vector<VariableRow> FilterRows(const std::vector<VariableRow>& rows, const std::vector<Variable>& table,
                                    const NameFilter& filter);

}  // namespace vnscope
