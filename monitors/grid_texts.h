// The texts a grid shows, kept so that a refresh can tell which cells
// changed: a list view takes microseconds for every text it is given, and a
// large table has a million cells of which a refresh usually changes a few.
// Platform-free; the database monitor keeps one for its grid.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vnscope {

class GridTexts {
 public:
  // Forgets every text: the next reading finds every cell changed.
  void Clear();
  // Starts a reading of the cells; what the last reading recorded is what
  // they show now.
  void BeginReading();
  // Records cell (column, row) as read, columns in order and each column's
  // rows in order from 0. True when its text differs from what the cell
  // showed after the last reading, or the cell was not read then.
  bool Record(size_t column, size_t row, std::u16string_view text);

 private:
  struct Column {
    size_t first = 0;  // index of its row 0 in `ends`
    size_t rows = 0;
  };
  struct Reading {
    std::u16string texts;         // every cell's text, one after the other
    std::vector<uint32_t> ends;   // where each cell's text ends in `texts`
    std::vector<Column> columns;
    std::u16string_view Text(size_t cell) const;
  };
  Reading shown_;
  Reading next_;
  bool reading_ = false;
};

}  // namespace vnscope
