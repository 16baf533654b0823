// Reads an archive back with tools that share no code with the writer:
// Python's zipfile module and Info-ZIP's unzip.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vnscope::test_support {

struct UnzippedEntry {
  std::string name;
  std::vector<uint8_t> data;
  std::string date_time;  // "year-month-day-hour-minute-second" as zipfile decodes it
  int compress_type = -1;
};

// Every entry of the archive, in central directory order, after zipfile has
// checked every CRC. None when zipfile rejects the archive or a CRC.
std::optional<std::vector<UnzippedEntry>> UnzipWithPython(const std::vector<uint8_t>& archive);

// Whether "unzip -t" finds the archive and all its CRCs sound.
bool UnzipTestPasses(const std::vector<uint8_t>& archive);

}  // namespace vnscope::test_support
