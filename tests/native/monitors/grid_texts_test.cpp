// Which cells a reading finds changed: every cell the first time, then only
// those whose text differs from the last reading or that it did not have.
#include "monitors/grid_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vnscope {
namespace {

using Columns = std::vector<std::vector<std::u16string>>;

// Records one reading of `columns` and lists the cells it finds changed, as
// "column,row".
std::vector<std::string> Changed(GridTexts& texts, const Columns& columns) {
  std::vector<std::string> changed;
  texts.BeginReading();
  for (size_t c = 0; c < columns.size(); ++c) {
    for (size_t r = 0; r < columns[c].size(); ++r) {
      if (texts.Record(c, r, columns[c][r])) changed.push_back(std::to_string(c) + "," + std::to_string(r));
    }
  }
  return changed;
}

TEST(GridTexts, ReadingsFindTheCellsThatChanged) {
  struct Step {
    const char* why;
    Columns columns;
    std::vector<std::string> changed;
  };
  const Step steps[] = {
      {"the first reading: every cell", {{u"1", u"2"}, {u"true", u""}}, {"0,0", "0,1", "1,0", "1,1"}},
      {"the same again: none", {{u"1", u"2"}, {u"true", u""}}, {}},
      {"one value changed", {{u"1", u"-7"}, {u"true", u""}}, {"0,1"}},
      {"a text that only grew", {{u"1", u"-70"}, {u"true", u""}}, {"0,1"}},
      {"an empty text filled", {{u"1", u"-70"}, {u"true", u"x"}}, {"1,1"}},
      {"a column one row longer", {{u"1", u"-70", u"3"}, {u"true", u"x"}}, {"0,2"}},
      {"a column without cells, then one more", {{u"1", u"-70", u"3"}, {}, {u"a"}}, {"2,0"}},
      {"the column that lost its cells comes back", {{u"1", u"-70", u"3"}, {u"true", u"x"}, {u"a"}}, {"1,0", "1,1"}},
  };
  GridTexts texts;
  for (const Step& step : steps) EXPECT_EQ(Changed(texts, step.columns), step.changed) << step.why;
  texts.Clear();
  EXPECT_EQ(Changed(texts, {{u"1"}}), (std::vector<std::string>{"0,0"})) << "after Clear every cell again";
}

}  // namespace
}  // namespace vnscope
