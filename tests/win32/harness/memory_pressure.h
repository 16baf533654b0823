// Memory as a careless engine or a crowded process leaves it: records that
// end where an inaccessible page begins, and an address space without room
// for a large block.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vnscope::test {

// `size` bytes, all 0, right before a page that faults when read: a read
// past the record's end crashes instead of going unnoticed.
class GuardedBytes {
 public:
  explicit GuardedBytes(size_t size);
  ~GuardedBytes();
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;

  uint8_t* data() const { return data_; }

 private:
  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
};

// While it lives, no free block of `size` bytes is left in the process's
// address space, so that allocating one fails.
class ScopedAddressSpaceSqueeze {
 public:
  explicit ScopedAddressSpaceSqueeze(size_t size);
  ~ScopedAddressSpaceSqueeze();
  ScopedAddressSpaceSqueeze(const ScopedAddressSpaceSqueeze&) = delete;
  ScopedAddressSpaceSqueeze& operator=(const ScopedAddressSpaceSqueeze&) = delete;

 private:
  std::vector<void*> reserved_;
};

}  // namespace vnscope::test
