// The byte format of the targets that replay a sequence of operations: each
// value little-endian from the front, so that the seed writers can spell an
// input with OpWriter and the fuzzer mutates it into neighbouring sequences.
// A read past the end gives zeros, so every input is a whole sequence.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace vnscope::fuzz {

class OpReader {
 public:
  OpReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool empty() const { return at_ >= size_; }
  size_t left() const { return size_ - at_; }

  uint8_t U8() { return empty() ? 0 : data_[at_++]; }
  // Each byte read in its own statement: the operands of | are unsequenced.
  uint16_t U16() {
    const uint8_t low = U8();
    return static_cast<uint16_t>(low | U8() << 8);
  }
  uint32_t U32() {
    const uint32_t low = U16();
    return low | uint32_t{U16()} << 16;
  }
  uint64_t U64() {
    const uint64_t low = U32();
    return low | uint64_t{U32()} << 32;
  }
  // A value in [0, count) from one byte (two when count > 256).
  uint32_t Below(uint32_t count) { return count == 0 ? 0 : (count <= 256 ? U8() : U16()) % count; }
  // Fills `out` with the rest of the input, repeated as often as needed
  // (a counting pattern when nothing is left), so a short input still makes
  // a picture of any size with varied bytes.
  void Fill(std::span<uint8_t> out) {
    const std::span<const uint8_t> rest = Bytes(left());
    for (size_t i = 0; i < out.size(); ++i)
      out[i] = rest.empty() ? static_cast<uint8_t>(i * 7 + i / 251) : rest[i % rest.size()];
  }
  // What is left, without taking it.
  std::span<const uint8_t> Rest() const { return {data_ + at_, left()}; }
  // Up to `count` bytes, fewer at the end of the input.
  std::span<const uint8_t> Bytes(size_t count) {
    const size_t taken = std::min(count, left());
    const std::span<const uint8_t> bytes(data_ + at_, taken);
    at_ += taken;
    return bytes;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// The seed writers' side of OpReader.
class OpWriter {
 public:
  OpWriter& U8(uint8_t value) {
    bytes_.push_back(value);
    return *this;
  }
  OpWriter& U16(uint16_t value) { return U8(static_cast<uint8_t>(value)).U8(static_cast<uint8_t>(value >> 8)); }
  OpWriter& U32(uint32_t value) { return U16(static_cast<uint16_t>(value)).U16(static_cast<uint16_t>(value >> 16)); }
  OpWriter& U64(uint64_t value) { return U32(static_cast<uint32_t>(value)).U32(static_cast<uint32_t>(value >> 32)); }
  OpWriter& Bytes(std::span<const uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace vnscope::fuzz
