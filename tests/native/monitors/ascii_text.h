// The monitors' names and numbers are ASCII in these tests: as bytes they
// compare and print plainly.
#pragma once
#include <string>

namespace vnscope::test {

inline std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

}  // namespace vnscope::test
