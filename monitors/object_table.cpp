#include "monitors/object_table.h"

#include <algorithm>
#include <iterator>

#include "monitors/decimal.h"

namespace vnscope {
namespace {

struct TypeName {
  int32_t code;
  std::u16string_view name;
};

// The engine's object types, sorted by code for the lookup. The codes are
// not contiguous: the engine groups them by kind in the high bits.
constexpr TypeName kTypeNames[] = {
    {0, u"OFF"},     {1, u"BG"},       {2, u"PARTS"},      {3, u"BU"},       {4, u"FACE"},
    {5, u"FACE1"},   {6, u"FACE2"},    {7, u"FACE3"},      {8, u"FACE4"},    {9, u"FACE5"},
    {10, u"FACE6"},  {11, u"CUTIN"},   {12, u"EYE"},       {13, u"MOVIE"},   {14, u"SBU"},
    {15, u"FIXED"},  {0x81, u"SIRU"},  {0x91, u"LIQUID"},  {0xA0, u"BUTTON"}, {0xD0, u"COMPOSITE"},
    {0xE0, u"EFFECT"}, {0xFF, u"END"},
};
static_assert(std::is_sorted(std::begin(kTypeNames), std::end(kTypeNames),
                             [](const TypeName& a, const TypeName& b) { return a.code < b.code; }));

constexpr uint8_t kStateShown = 0;
constexpr uint8_t kStateCreateFailed = 0xFE;

}  // namespace

std::u16string_view ObjectTypeName(int32_t code) {
  const auto* found = std::lower_bound(std::begin(kTypeNames), std::end(kTypeNames), code,
                                       [](const TypeName& entry, int32_t c) { return entry.code < c; });
  if (found == std::end(kTypeNames) || found->code != code) return u"unknown";
  return found->name;
}

std::u16string_view ObjectStateText(uint8_t state) {
  if (state == kStateShown) return u"表示";
  if (state == kStateCreateFailed) return u"生成失敗";
  return u"非表示";
}

std::u16string ObjectClipboardText(const std::vector<ObjectClipboardRow>& rows) {
  std::u16string text;
  for (size_t i = 0; i < rows.size(); ++i) {
    const ObjectClipboardRow& row = rows[i];
    if (i > 0) text += u',';
    text += u'"';
    text.append(row.name, 0, kClipboardNameLimit);
    // An empty cell reads as 0, so an object without position shows none.
    const bool hasY = ParseDecimal(row.y) != 0;
    if (hasY || ParseDecimal(row.x) != 0) (text += u',') += row.x;
    if (hasY) (text += u',') += row.y;
    text += u'"';
  }
  return text;
}

}  // namespace vnscope
