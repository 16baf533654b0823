// The report package's container: a ZIP archive with every entry stored
// uncompressed, built entirely in memory.
#pragma once
#include <cstdint>
#include <ctime>
#include <optional>
#include <string_view>

#include "report/protocol/byte_buffer.h"

namespace vnscope {

// MS-DOS date and time fields of a ZIP entry.
struct DosDateTime {
  uint16_t date = 0;  // ((year - 1980) << 9) | (month << 5) | day
  uint16_t time = 0;  // (hour << 11) | (minute << 5) | (second / 2)
};

// Converts a broken-down local time (std::tm conventions: years since 1900,
// months from 0). A year before 1980 wraps, as the 16-bit field does.
DosDateTime ToDosDateTime(const std::tm& local);

// A finished package: a view into the writer's data buffer, valid until the
// writer is started again or released.
struct PackageView {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
};

class ZipWriter {
 public:
  // Opens the writer with the local time now as every entry's date and time.
  // False when already open. Releases both buffers of an earlier package.
  bool Start();
  // As Start(), with the given local time; lets tests fix the date fields.
  bool Start(const std::tm& local);
  // Appends one stored entry. False when the writer is not open or is broken.
  // An entry refused on an open writer (no memory, archive past 2 GiB, a 65536th
  // entry, a name over 65535 bytes) breaks it, so that Finish yields none.
  bool Add(std::string_view name, const void* data, uint32_t length);
  // Appends the central directory and the end record and closes the writer.
  // None when it was not open, or when any append failed since Start: a
  // package with parts missing is never handed out. The view stays owned by
  // the writer; call Release once the package has been sent.
  std::optional<PackageView> Finish();
  // Frees both buffers; the writer stays as open or closed as it was.
  void Release();

  bool IsOpen() const { return open_; }
  uint16_t EntryCount() const { return entry_count_; }
  DosDateTime Stamp() const { return stamp_; }

 private:
  bool open_ = false;
  // Set by the first failed append between Start and Finish.
  bool broken_ = false;
  uint16_t entry_count_ = 0;
  DosDateTime stamp_;
  ByteBuffer data_;
  ByteBuffer central_directory_;
};

}  // namespace vnscope
