// Stand-ins for the locale comparison the DLL hands the variable store: an
// exact one, and one that folds ASCII case as CompareStringW finds "#Flag"
// equal to "#flag".
#pragma once
#include <algorithm>
#include <string_view>

namespace vnscope::test {

inline bool ExactPrefix(std::u16string_view a, std::u16string_view b) { return a == b; }

inline bool FoldedPrefix(std::u16string_view a, std::u16string_view b) {
  auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

}  // namespace vnscope::test
