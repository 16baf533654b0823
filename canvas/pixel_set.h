// Sets of pixels of one image size, one bit per pixel: which pixels a layer
// covers, which changed since the last compositing, which an edit has already
// recorded. Internal to the canvas's model.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vnscope::pixel_set {

inline constexpr int32_t kBitsPerWord = 64;

inline int32_t WordsPerRow(int32_t width) { return (width + kBitsPerWord - 1) / kBitsPerWord; }

// A set over `bits`, rows of `words` words, with the rows that hold bits
// bounded by [top, bottom] (empty when top > bottom).
struct PixelSet {
  uint64_t* bits;
  int32_t words;
  int32_t top;
  int32_t bottom;
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

// Empties the rows that hold bits.
inline void ClearSet(std::vector<uint64_t>& bits, int32_t words, int32_t& top, int32_t& bottom) {
  if (top <= bottom)
    std::fill(bits.begin() + static_cast<size_t>(top) * words, bits.begin() + static_cast<size_t>(bottom + 1) * words,
              0);
  top = 0;
  bottom = -1;
}

// The pixels within one pixel (the 3 x 3 neighbourhood) of a pixel of the set
// in word w of row y: the set's rows y - 1 to y + 1, spread one bit each way.
inline uint64_t NearWord(const PixelSet& set, int32_t height, int32_t y, int32_t w) {
  if (y < set.top - 1 || y > set.bottom + 1) return 0;
  uint64_t here = 0, previous = 0, next = 0;
  for (int32_t row = std::max(y - 1, 0); row <= std::min(y + 1, height - 1); ++row) {
    const uint64_t* words = set.bits + static_cast<size_t>(row) * set.words;
    here |= words[w];
    if (w > 0) previous |= words[w - 1];
    if (w + 1 < set.words) next |= words[w + 1];
  }
  return here | (here << 1) | (here >> 1) | (previous >> 63) | (next << 63);
}

// Whether any pixel of the 3 x 3 neighbourhood of (x, y) is in the set.
inline bool SetHasNear(const PixelSet& set, int32_t height, int32_t x, int32_t y) {
  return (NearWord(set, height, y, x / kBitsPerWord) >> (x % kBitsPerWord)) & 1;
}

// Calls visit(y, w, near) for every word of every row that holds pixels
// within one pixel of the set, `near` holding those pixels, row by row.
template <typename Visit>
void ForEachWordNear(const PixelSet& set, int32_t width, int32_t height, Visit visit) {
  if (set.top > set.bottom || width <= 0) return;
  static thread_local std::vector<uint64_t> near;
  near.assign(set.words, 0);
  const uint64_t lastWordMask =
      width % kBitsPerWord == 0 ? ~uint64_t{0} : (uint64_t{1} << (width % kBitsPerWord)) - 1;
  for (int32_t y = std::max(set.top - 1, 0); y <= std::min(set.bottom + 1, height - 1); ++y) {
    const uint64_t* row = set.bits + static_cast<size_t>(y) * set.words;
    const uint64_t* above = y > 0 ? row - set.words : nullptr;
    const uint64_t* below = y + 1 < height ? row + set.words : nullptr;
    bool any = false;
    for (int32_t w = 0; w < set.words; ++w) {
      near[w] = row[w] | (above ? above[w] : 0) | (below ? below[w] : 0);
      any |= near[w] != 0;
    }
    if (!any) continue;
    for (int32_t w = 0; w < set.words; ++w) {
      const uint64_t previous = w > 0 ? near[w - 1] : 0;
      const uint64_t next = w + 1 < set.words ? near[w + 1] : 0;
      uint64_t spread = near[w] | (near[w] << 1) | (near[w] >> 1) | (previous >> 63) | (next << 63);
      if (w + 1 == set.words) spread &= lastWordMask;
      if (spread != 0) visit(y, w, spread);
    }
  }
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
