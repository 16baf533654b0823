#include "monitors/grid_texts.h"

#include <utility>

namespace vnscope {

std::u16string_view GridTexts::Reading::Text(size_t cell) const {
  const size_t start = cell == 0 ? 0 : ends[cell - 1];
  return std::u16string_view(texts).substr(start, ends[cell] - start);
}

void GridTexts::Clear() {
  shown_ = Reading{};
  next_ = Reading{};
  reading_ = false;
}

void GridTexts::BeginReading() {
  if (reading_) std::swap(shown_, next_);
  next_.texts.clear();
  next_.ends.clear();
  next_.columns.clear();
  reading_ = true;
}

bool GridTexts::Record(size_t column, size_t row, std::u16string_view text) {
  if (column >= next_.columns.size()) next_.columns.resize(column + 1, Column{next_.ends.size(), 0});
  ++next_.columns[column].rows;
  next_.texts.append(text);
  next_.ends.push_back(static_cast<uint32_t>(next_.texts.size()));
  if (column >= shown_.columns.size() || row >= shown_.columns[column].rows) return true;
  return shown_.Text(shown_.columns[column].first + row) != text;
}

}  // namespace vnscope
