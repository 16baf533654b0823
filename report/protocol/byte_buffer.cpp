#include "report/protocol/byte_buffer.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace vnscope {

ByteBuffer::~ByteBuffer() { std::free(data_); }

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : requested_size_(std::exchange(other.requested_size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      write_position_(std::exchange(other.write_position_, 0)),
      data_(std::exchange(other.data_, nullptr)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
  if (this != &other) {
    std::free(data_);
    requested_size_ = std::exchange(other.requested_size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    write_position_ = std::exchange(other.write_position_, 0);
    data_ = std::exchange(other.data_, nullptr);
  }
  return *this;
}

bool ByteBuffer::Ensure(uint32_t n) {
  requested_size_ = n;
  if (n <= capacity_ && (data_ != nullptr || n == 0)) return true;
  // Doubling past 4 GiB would wrap to a block smaller than n and every later
  // copy would write past its end.
  if (n > kMaxSize) {
    Release();
    return false;
  }
  const uint32_t grown = 2 * n;
  void* block = std::realloc(data_, grown);
  if (block == nullptr) {
    Release();
    return false;
  }
  data_ = static_cast<uint8_t*>(block);
  capacity_ = grown;
  return true;
}

bool ByteBuffer::Append(const void* bytes, uint32_t k) {
  if (k > UINT32_MAX - write_position_) {
    Release();
    return false;
  }
  if (!Ensure(write_position_ + k)) return false;
  // memcpy from a null pointer is undefined even for 0 bytes.
  if (k > 0) std::memcpy(data_ + write_position_, bytes, k);
  write_position_ += k;
  return true;
}

void ByteBuffer::Release() {
  std::free(data_);
  data_ = nullptr;
  requested_size_ = 0;
  capacity_ = 0;
  write_position_ = 0;
}

void ByteBuffer::Reuse() {
  requested_size_ = 0;
  write_position_ = 0;
}

}  // namespace vnscope
