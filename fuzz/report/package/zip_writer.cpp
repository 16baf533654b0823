// The package writer fed random entries (names, sizes, contents, dates). Its
// archive, read back by libzip with consistency checks, must hold exactly
// those entries in order, stored, with their CRCs, and nothing else.
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "fuzz/common/zip_archive.h"
#include "fuzz/fuzz_support.h"
#include "report/package/zip_writer.h"
#include "test_support.h"

namespace {

using namespace vnscope;
using vnscope::fuzz::Check;

struct Entry {
  std::string name;
  std::vector<uint8_t> data;
};

void CheckArchive(const PackageView& package, const std::vector<Entry>& entries) {
  // Stored entries: each a 30-byte local header, a 46-byte central one, its
  // name twice and its bytes once, then the 22-byte end record.
  size_t expected_size = 22;
  for (const Entry& entry : entries) expected_size += 30 + 46 + 2 * entry.name.size() + entry.data.size();
  Check(package.size == expected_size, "archive size is not its entries'");

  const fuzz::ZipArchive archive =
      fuzz::OpenZip({package.data, package.size}, ZIP_RDONLY | ZIP_CHECKCONS, "libzip does not open the archive");
  Check(zip_get_num_entries(archive.get(), 0) == static_cast<zip_int64_t>(entries.size()), "entry count differs");
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& entry = entries[i];
    const char* name = zip_get_name(archive.get(), i, ZIP_FL_ENC_RAW);
    Check(name != nullptr && entry.name == name, "entry name differs");
    zip_stat_t stat;
    Check(zip_stat_index(archive.get(), i, 0, &stat) == 0, "entry does not stat");
    Check(stat.size == entry.data.size() && stat.comp_size == entry.data.size() && stat.comp_method == ZIP_CM_STORE,
          "entry not stored at its size");
    // libzip's own CRC check misses an empty entry, and on the read below it
    // hands over the bytes and keeps the mismatch for the next read.
    Check(stat.crc == test::Crc32(entry.data), "entry CRC differs");
    zip_file_t* file = zip_fopen_index(archive.get(), i, 0);
    Check(file != nullptr, "entry does not open");
    std::vector<uint8_t> read(entry.data.size() + 1);
    const zip_int64_t got = zip_fread(file, read.data(), read.size());
    zip_fclose(file);
    read.resize(got < 0 ? 0 : static_cast<size_t>(got));
    Check(got >= 0 && read == entry.data, "entry bytes differ");
  }
}

ZipWriter writer;  // reused, as the DLL reuses its writer for every report

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::OpReader input(data, size);
  const uint8_t options = input.U8();
  std::tm local{};
  local.tm_year = input.U8();  // 1900 to 2155: before 1980 the field wraps
  local.tm_mon = input.U8() % 12;
  local.tm_mday = 1 + input.U8() % 31;
  local.tm_hour = input.U8() % 24;
  local.tm_min = input.U8() % 60;
  local.tm_sec = input.U8() % 60;
  Check(writer.Start(local), "writer does not start");

  // An entry with a name over 65535 bytes at this index breaks the writer.
  const size_t breaking = options & 1 ? input.U8() % 8 : SIZE_MAX;
  std::vector<Entry> entries;
  std::set<std::string> names;
  bool broken = false;
  while (!input.Rest().empty() && entries.size() < 64) {
    if (entries.size() == breaking && !broken) {
      const std::string huge(65536, 'n');
      Check(!writer.Add(huge, "x", 1), "name over 65535 bytes accepted");
      broken = true;
    }
    Entry entry;
    const size_t name_length = 1 + input.U8() % 40;
    for (uint8_t byte : input.Bytes(name_length)) entry.name.push_back(byte == 0 ? '_' : static_cast<char>(byte));
    const size_t length = input.U16() & 0x3FFF;  // up to 16 KiB
    const auto source = input.Bytes(length);
    // Few fuzz bytes stretch to a long entry by repetition.
    for (size_t i = 0; i < length && !source.empty(); ++i) entry.data.push_back(source[i % source.size()]);
    if (!names.insert(entry.name).second) continue;  // libzip looks entries up by name
    // An empty entry may come without a buffer at all.
    const void* bytes = entry.data.empty() && (options & 2) ? nullptr : entry.data.data();
    Check(writer.Add(entry.name, bytes, static_cast<uint32_t>(entry.data.size())) == !broken,
          broken ? "entry accepted by a broken writer" : "entry refused");
    entries.push_back(std::move(entry));
  }
  const auto package = writer.Finish();
  Check(!writer.IsOpen(), "writer open after finishing");
  if (broken) {
    Check(!package.has_value(), "broken writer made a package");
    return 0;
  }
  Check(package.has_value() && writer.EntryCount() == entries.size(), "package missing or entries lost");
  CheckArchive(*package, entries);
  writer.Release();
  return 0;
}
