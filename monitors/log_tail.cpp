#include "monitors/log_tail.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <utility>

namespace vnscope {
namespace {

// Appends the units up to the first NUL, each LF shown as CR LF. Returns
// false when it met a NUL, which ends what the chunk shows.
bool AppendUnits(const char16_t* units, size_t count, std::u16string* display) {
  const char16_t* const all = units + count;
  const char16_t* end = std::find(units, all, u'\0');
  while (units < end) {
    const char16_t* lf = std::find(units, end, u'\n');
    display->append(units, lf);
    if (lf == end) break;
    display->append(u"\r\n", 2);
    units = lf + 1;
  }
  return end == all;
}

char16_t UnitFrom(uint8_t low, uint8_t high) { return static_cast<char16_t>(low | (high << 8)); }

}  // namespace

void LogTail::Restart() {
  offset_ = 0;
  carry_.reset();
}

bool LogTail::FollowSize(uint64_t fileSize) {
  if (fileSize >= offset_) return false;
  Restart();
  return true;
}

uint64_t LogTail::SkipBacklog(uint64_t fileSize, uint64_t keepBytes) {
  // Compared as `waiting - keep`, never `keep + chunk`: a keep near 2^64
  // would wrap the sum and skip everything.
  if (fileSize <= offset_ || fileSize - offset_ <= keepBytes) return 0;
  const uint64_t excess = fileSize - offset_ - keepBytes;
  if (excess <= kLogChunkBytes) return 0;
  const uint64_t chunks = excess / kLogChunkBytes;
  uint64_t skipped = chunks * kLogChunkBytes;
  if (carry_) {
    // The carried byte's partner is the first byte skipped: drop both, and
    // stop one byte short so that the next read starts on a unit boundary.
    // One byte further could pass the end of the file, which the next size
    // check would take for a rewritten file.
    carry_.reset();
    --skipped;
  }
  offset_ += skipped;
  return skipped;
}

void LogTail::AppendChunk(std::span<const uint8_t> chunk, std::u16string* display) {
  if (chunk.empty()) return;
  offset_ += chunk.size();
  const std::optional<uint8_t> carried = std::exchange(carry_, std::nullopt);
  const size_t at = carried ? 1 : 0;
  const size_t units = (chunk.size() - at) / 2;
  if ((chunk.size() - at) % 2) carry_ = chunk.back();
  if (carried) {
    const char16_t first = UnitFrom(*carried, chunk[0]);
    if (!AppendUnits(&first, 1, display)) return;
  }
  // Copied rather than cast: after a carried byte the units start on an odd
  // address. The file is little-endian, as is every machine this runs on.
  static_assert(std::endian::native == std::endian::little);
  char16_t buffer[kLogChunkBytes / 2];
  for (size_t done = 0; done < units;) {
    const size_t count = std::min(units - done, std::size(buffer));
    std::memcpy(buffer, chunk.data() + at + 2 * done, 2 * count);
    if (!AppendUnits(buffer, count, display)) return;
    done += count;
  }
}

}  // namespace vnscope
