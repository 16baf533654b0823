#include "monitors/decimal.h"

#include <limits>

namespace vnscope {
namespace {

// The white space wcstol skips in the "C" locale.
bool IsSpace(char16_t unit) {
  return unit == u' ' || (unit >= u'\t' && unit <= u'\r');
}

}  // namespace

int32_t ParseDecimal(std::u16string_view text) {
  size_t pos = 0;
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
    negative = text[pos] == u'-';
    ++pos;
  }
  // Accumulate the magnitude in 64 bits and stop growing once past the limit.
  constexpr int64_t kCap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9'; ++pos) {
    magnitude = magnitude * 10 + (text[pos] - u'0');
    if (magnitude > kCap) magnitude = kCap;
  }
  if (negative) return static_cast<int32_t>(-magnitude);  // -2^31 fits exactly
  return magnitude >= kCap ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(magnitude);
}

void AppendDecimal(std::u16string* text, int32_t value) {
  // Digits of the magnitude in 64 bits: -2^31 has no 32-bit magnitude.
  int64_t magnitude = value;
  if (magnitude < 0) {
    text->push_back(u'-');
    magnitude = -magnitude;
  }
  char16_t digits[12];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0) text->push_back(digits[--count]);
}

}  // namespace vnscope
