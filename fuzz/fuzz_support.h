// Helpers shared by the fuzz targets: a failed check that names itself before
// aborting (libFuzzer keeps the input), the input reader (common/op_stream.h)
// that splits one input into the choices a target makes, and a strict UTF-8
// check.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "fuzz/common/op_stream.h"

namespace vnscope::fuzz {

[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

inline void Check(bool ok, const char* what = "a target's assertion") {
  if (!ok) Fail(what);
}

// Well-formed UTF-8 as Unicode defines it: shortest forms only, no
// surrogates, nothing above U+10FFFF. Written from the table of well-formed
// byte sequences, independent of any decoder under test.
inline bool IsWellFormedUtf8(std::string_view text) {
  size_t i = 0;
  auto in = [&](size_t at, unsigned low, unsigned high) {
    if (at >= text.size()) return false;
    const auto byte = static_cast<unsigned char>(text[at]);
    return byte >= low && byte <= high;
  };
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    if (lead < 0x80) length = 1;
    else if (lead >= 0xC2 && lead <= 0xDF) length = in(i + 1, 0x80, 0xBF) ? 2 : 0;
    else if (lead == 0xE0) length = in(i + 1, 0xA0, 0xBF) && in(i + 2, 0x80, 0xBF) ? 3 : 0;
    else if (lead == 0xED) length = in(i + 1, 0x80, 0x9F) && in(i + 2, 0x80, 0xBF) ? 3 : 0;
    else if (lead >= 0xE1 && lead <= 0xEF) length = in(i + 1, 0x80, 0xBF) && in(i + 2, 0x80, 0xBF) ? 3 : 0;
    else if (lead == 0xF0) length = in(i + 1, 0x90, 0xBF) && in(i + 2, 0x80, 0xBF) && in(i + 3, 0x80, 0xBF) ? 4 : 0;
    else if (lead >= 0xF1 && lead <= 0xF3)
      length = in(i + 1, 0x80, 0xBF) && in(i + 2, 0x80, 0xBF) && in(i + 3, 0x80, 0xBF) ? 4 : 0;
    else if (lead == 0xF4) length = in(i + 1, 0x80, 0x8F) && in(i + 2, 0x80, 0xBF) && in(i + 3, 0x80, 0xBF) ? 4 : 0;
    if (length == 0) return false;
    i += length;
  }
  return true;
}

}  // namespace vnscope::fuzz
