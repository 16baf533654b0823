// Decimal text as the engine and the tester write it.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace vnscope {

// Parses base-10 signed 32-bit text the way the C library's wcstol does:
// leading white space skipped, an optional sign, digits up to the first
// non-digit. No digits gives 0; a value beyond the 32-bit range gives the
// nearest limit. The text ends at its first NUL unit or at its end.
int32_t ParseDecimal(std::u16string_view text);

// Appends `value` as signed decimal ("%d").
void AppendDecimal(std::u16string* text, int32_t value);

}  // namespace vnscope
