#include "harness/memory_pressure.h"

namespace vnscope::test {
namespace {

size_t PageSize() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
}

}  // namespace

GuardedBytes::GuardedBytes(size_t size) {
  const size_t page = PageSize();
  const size_t pages = (size + page - 1) / page + 1;
  base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, pages * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!base_) return;
  DWORD previous = 0;
  VirtualProtect(base_ + (pages - 1) * page, page, PAGE_NOACCESS, &previous);
  data_ = base_ + (pages - 1) * page - size;
}

GuardedBytes::~GuardedBytes() {
  if (base_) VirtualFree(base_, 0, MEM_RELEASE);
}

// Reserving takes address space, not memory. Blocks are taken until no hole
// of `size` bytes is left.
ScopedAddressSpaceSqueeze::ScopedAddressSpaceSqueeze(size_t size) {
  while (void* block = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS)) reserved_.push_back(block);
}

ScopedAddressSpaceSqueeze::~ScopedAddressSpaceSqueeze() {
  for (void* block : reserved_) VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace vnscope::test
