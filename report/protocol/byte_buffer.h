// Growable byte buffer the report package, the PNG snapshot and every network
// reply are built in.
#pragma once
#include <cstdint>

namespace vnscope {

// Owns one heap block. Growth asks for twice the size needed so that many small
// appends cost few reallocations. Any failed growth empties the buffer (block
// freed, every field 0): a half-built package must never look whole.
class ByteBuffer {
 public:
  // Largest size Ensure accepts: its doubled capacity must still fit in 32 bits.
  static constexpr uint32_t kMaxSize = UINT32_MAX / 2;

  ByteBuffer() = default;
  ~ByteBuffer();
  ByteBuffer(ByteBuffer&& other) noexcept;
  ByteBuffer& operator=(ByteBuffer&& other) noexcept;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;

  // Makes room for n bytes and records n as the requested size. Reallocates to
  // 2 x n when the block is missing or smaller than n. Ensure(0) never
  // allocates. False, with the buffer emptied, when memory cannot be had or
  // 2 x n does not fit in 32 bits.
  bool Ensure(uint32_t n);
  // Copies k bytes to the write position and advances it. False, with the
  // buffer emptied, when the buffer cannot grow or the end would pass 4 GiB.
  bool Append(const void* bytes, uint32_t k);
  // Frees the block; every field becomes 0.
  void Release();
  // Forgets the contents but keeps the block for the next package or reply.
  void Reuse();

  // The count last given to Ensure; after appends it equals WritePosition().
  uint32_t RequestedSize() const { return requested_size_; }
  uint32_t Capacity() const { return capacity_; }
  uint32_t WritePosition() const { return write_position_; }
  uint8_t* Data() { return data_; }
  const uint8_t* Data() const { return data_; }

 private:
  uint32_t requested_size_ = 0;
  uint32_t capacity_ = 0;
  uint32_t write_position_ = 0;
  uint8_t* data_ = nullptr;
};

}  // namespace vnscope
