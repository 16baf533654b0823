#include "report/package/zip_writer.h"

#include <array>

#include "report/package/crc32.h"

namespace vnscope {
namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kEndRecordSignature = 0x06054B50;
// Version 1.0: stored entries need nothing newer to extract.
constexpr uint16_t kZipVersion = 10;
constexpr uint16_t kStored = 0;

// Fixed-size little-endian header under construction.
template <size_t N>
class HeaderBytes {
 public:
  void Put16(size_t offset, uint16_t value) {
    bytes_[offset] = static_cast<uint8_t>(value);
    bytes_[offset + 1] = static_cast<uint8_t>(value >> 8);
  }
  void Put32(size_t offset, uint32_t value) {
    Put16(offset, static_cast<uint16_t>(value));
    Put16(offset + 2, static_cast<uint16_t>(value >> 16));
  }
  const uint8_t* data() const { return bytes_.data(); }
  static constexpr uint32_t size() { return N; }

 private:
  std::array<uint8_t, N> bytes_{};  // every field not set is 0
};

bool LocalTimeNow(std::tm* out) {
  const std::time_t now = std::time(nullptr);
#ifdef _WIN32
  return localtime_s(out, &now) == 0;
#else
  return localtime_r(&now, out) != nullptr;
#endif
}

}  // namespace

DosDateTime ToDosDateTime(const std::tm& local) {
  DosDateTime stamp;
  stamp.date = static_cast<uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) |
                                     local.tm_mday);
  stamp.time = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) |
                                     (local.tm_sec / 2));
  return stamp;
}

bool ZipWriter::Start() {
  std::tm local{};
  if (!LocalTimeNow(&local)) return false;
  return Start(local);
}

bool ZipWriter::Start(const std::tm& local) {
  if (open_) return false;
  // The CRC table is built here at the latest, not halfway through a package.
  Crc32Table();
  stamp_ = ToDosDateTime(local);
  data_.Release();
  central_directory_.Release();
  entry_count_ = 0;
  broken_ = false;
  open_ = true;
  return true;
}

bool ZipWriter::Add(std::string_view name, const void* data, uint32_t length) {
  if (!open_ || broken_) return false;
  // Checked before the CRC pass so that an entry that can never fit is not
  // read at all.
  const uint64_t entry_end = uint64_t{data_.RequestedSize()} + 30 + name.size() + length;
  if (entry_count_ == UINT16_MAX || name.size() > UINT16_MAX || entry_end > ByteBuffer::kMaxSize) {
    broken_ = true;
    return false;
  }
  const auto name_length = static_cast<uint16_t>(name.size());
  const uint32_t crc = Crc32(data, length);
  const uint32_t local_header_offset = data_.RequestedSize();

  HeaderBytes<30> local;
  local.Put32(0, kLocalHeaderSignature);
  local.Put16(4, kZipVersion);
  local.Put16(8, kStored);
  local.Put16(10, stamp_.time);
  local.Put16(12, stamp_.date);
  local.Put32(14, crc);
  local.Put32(18, length);
  local.Put32(22, length);
  local.Put16(26, name_length);

  HeaderBytes<46> central;
  central.Put32(0, kCentralHeaderSignature);
  central.Put16(4, kZipVersion);
  central.Put16(6, kZipVersion);
  central.Put16(10, kStored);
  central.Put16(12, stamp_.time);
  central.Put16(14, stamp_.date);
  central.Put32(16, crc);
  central.Put32(20, length);
  central.Put32(24, length);
  central.Put16(28, name_length);
  central.Put32(42, local_header_offset);

  const bool appended = data_.Append(local.data(), local.size()) &&
                        data_.Append(name.data(), name_length) &&
                        data_.Append(data, length) &&
                        central_directory_.Append(central.data(), central.size()) &&
                        central_directory_.Append(name.data(), name_length);
  if (!appended) {
    broken_ = true;
    return false;
  }
  ++entry_count_;
  return true;
}

std::optional<PackageView> ZipWriter::Finish() {
  if (!open_) return std::nullopt;
  open_ = false;
  if (broken_) {
    Release();
    return std::nullopt;
  }
  const uint32_t directory_offset = data_.RequestedSize();
  const uint32_t directory_size = central_directory_.RequestedSize();

  HeaderBytes<22> end;
  end.Put32(0, kEndRecordSignature);
  end.Put16(8, entry_count_);
  end.Put16(10, entry_count_);
  end.Put32(12, directory_size);
  end.Put32(16, directory_offset);

  const bool appended = data_.Append(central_directory_.Data(), directory_size) &&
                        data_.Append(end.data(), end.size());
  central_directory_.Release();
  if (!appended) {
    data_.Release();
    return std::nullopt;
  }
  return PackageView{data_.Data(), data_.RequestedSize()};
}

void ZipWriter::Release() {
  data_.Release();
  central_directory_.Release();
}

}  // namespace vnscope
