// Sets of pixels of one image size, one bit per pixel: which pixels a layer
// covers, which changed since the last compositing, which an edit has already
// recorded. Internal to the canvas's model.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace vnscope::pixel_set {

inline constexpr int32_t kBitsPerWord = 64;

inline int32_t WordsPerRow(int32_t width) { return (width + kBitsPerWord - 1) / kBitsPerWord; }

// A set over `bits`, rows of `words` words, with the rows that hold bits
// bounded by [top, bottom] (empty when top > bottom) and, where it is known,
// the words that do by [firstWord, lastWord].
struct PixelSet {
  uint64_t* bits;
  int32_t words;
  int32_t top;
  int32_t bottom;
  int32_t firstWord = 0;
  int32_t lastWord = std::numeric_limits<int32_t>::max();
};

inline void WidenRows(int32_t& top, int32_t& bottom, int32_t y) {
  if (top > bottom) {
    top = bottom = y;
  } else {
    top = std::min(top, y);
    bottom = std::max(bottom, y);
  }
}

inline void AddToSet(uint64_t* bits, int32_t words, int32_t& top, int32_t& bottom, int32_t x, int32_t y) {
  bits[static_cast<size_t>(y) * words + x / kBitsPerWord] |= uint64_t{1} << (x % kBitsPerWord);
  WidenRows(top, bottom, y);
}

// Sets (`value` true) or clears bit x of a row.
inline void AssignBit(uint64_t* row, int32_t x, bool value) {
  const uint64_t bit = uint64_t{1} << (x % kBitsPerWord);
  if (value) row[x / kBitsPerWord] |= bit;
  else row[x / kBitsPerWord] &= ~bit;
}

// Sets or clears bits x to x + count - 1 of a row.
inline void AssignRun(uint64_t* row, int32_t x, int32_t count, bool value) {
  for (int32_t first = x, end = x + count; first < end;) {
    const int32_t word = first / kBitsPerWord, bit = first % kBitsPerWord;
    const int32_t span = std::min(end - first, kBitsPerWord - bit);
    const uint64_t mask = (span == kBitsPerWord ? ~uint64_t{0} : ((uint64_t{1} << span) - 1)) << bit;
    if (value) row[word] |= mask;
    else row[word] &= ~mask;
    first += span;
  }
}

// Adds the pixels x to x + count - 1 of row y (count > 0).
inline void AddRunToSet(uint64_t* bits, int32_t words, int32_t& top, int32_t& bottom, int32_t x, int32_t y,
                        int32_t count) {
  AssignRun(bits + static_cast<size_t>(y) * words, x, count, true);
  WidenRows(top, bottom, y);
}

inline bool InSet(const uint64_t* bits, int32_t words, int32_t x, int32_t y) {
  return (bits[static_cast<size_t>(y) * words + x / kBitsPerWord] >> (x % kBitsPerWord)) & 1;
}

// Empties the rows that hold bits, or only their words first to last when
// no other word holds any.
inline void ClearSet(std::vector<uint64_t>& bits, int32_t words, int32_t& top, int32_t& bottom, int32_t first = 0,
                     int32_t last = std::numeric_limits<int32_t>::max()) {
  first = std::max(first, 0);
  last = std::min(last, words - 1);
  for (int32_t y = top; y <= bottom && first <= last; ++y)
    std::fill_n(bits.begin() + static_cast<size_t>(y) * words + first, last - first + 1, 0);
  top = 0;
  bottom = -1;
}

// Words `first` to `last` of row y of the pixels within one pixel (the 3 x 3
// neighbourhood) of a pixel of the set, into near[first] to near[last]: the
// set's rows y - 1 to y + 1 together, spread one pixel each way.
inline void NearRow(const PixelSet& set, int32_t y, int32_t first, int32_t last, uint64_t* near) {
  const int32_t top = std::max(y - 1, set.top), bottom = std::min(y + 1, set.bottom);
  if (top > bottom) {
    std::fill(near + first, near + last + 1, 0);
    return;
  }
  // The rows that hold bits among y - 1 to y + 1; a missing one reads as the
  // first, which changes nothing in an OR.
  const uint64_t* upper = set.bits + static_cast<size_t>(top) * set.words;
  const uint64_t* middle = set.bits + static_cast<size_t>(std::min(top + 1, bottom)) * set.words;
  const uint64_t* lower = set.bits + static_cast<size_t>(bottom) * set.words;
  auto rows = [&](int32_t w) { return upper[w] | middle[w] | lower[w]; };
  uint64_t previous = first > 0 ? rows(first - 1) : 0, here = rows(first);
  for (int32_t w = first; w <= last; ++w) {
    const uint64_t next = w + 1 < set.words ? rows(w + 1) : 0;
    near[w] = here | (here << 1) | (here >> 1) | (previous >> 63) | (next << 63);
    previous = here;
    here = next;
  }
}

// Calls visit(y, near, first, last) for every row that holds pixels within
// one pixel of the set: near[first] to near[last] hold them, word by word
// (other words of the row hold none).
template <typename Visit>
void ForEachRowNear(const PixelSet& set, int32_t width, int32_t height, Visit visit) {
  if (set.top > set.bottom || width <= 0) return;
  const int32_t first = std::max(set.firstWord, 1) - 1;
  const int32_t last = set.lastWord >= set.words - 1 ? set.words - 1 : set.lastWord + 1;
  if (first > last) return;
  static thread_local std::vector<uint64_t> near;
  near.assign(set.words, 0);
  const uint64_t lastWordMask =
      width % kBitsPerWord == 0 ? ~uint64_t{0} : (uint64_t{1} << (width % kBitsPerWord)) - 1;
  for (int32_t y = std::max(set.top - 1, 0); y <= std::min(set.bottom + 1, height - 1); ++y) {
    NearRow(set, y, first, last, near.data());
    if (last + 1 == set.words) near[last] &= lastWordMask;
    bool any = false;
    for (int32_t w = first; w <= last; ++w) any |= near[w] != 0;
    if (any) visit(y, static_cast<const uint64_t*>(near.data()), first, last);
  }
}

// Calls visit(y, w, near) for every word of every row that holds pixels
// within one pixel of the set, `near` holding those pixels, row by row.
template <typename Visit>
void ForEachWordNear(const PixelSet& set, int32_t width, int32_t height, Visit visit) {
  ForEachRowNear(set, width, height, [&](int32_t y, const uint64_t* near, int32_t first, int32_t last) {
    for (int32_t w = first; w <= last; ++w)
      if (near[w] != 0) visit(y, w, near[w]);
  });
}

// Calls visit(x, y) once for every pixel within one pixel of the set.
template <typename Visit>
void ForEachPixelNear(const PixelSet& set, int32_t width, int32_t height, Visit visit) {
  ForEachWordNear(set, width, height, [&](int32_t y, int32_t w, uint64_t spread) {
    while (spread != 0) {
      const int bit = __builtin_ctzll(spread);
      spread &= spread - 1;
      visit(w * kBitsPerWord + bit, y);
    }
  });
}

}  // namespace vnscope::pixel_set
