#include "harness/pe_image.h"

namespace vnscope::test {
namespace {

void WriteSlot(void** slot, void* value) {
  DWORD protection = 0;
  if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection)) return;
  *slot = value;
  VirtualProtect(slot, sizeof(*slot), protection, &protection);
}

}  // namespace

const IMAGE_DATA_DIRECTORY& DataDirectory(HMODULE module, int index) {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
  const auto* nt = AtRva<IMAGE_NT_HEADERS32>(module, static_cast<DWORD>(dos->e_lfanew));
  return nt->OptionalHeader.DataDirectory[index];
}

// The slot is found by the address the loader put there, which is what
// GetProcAddress gives for the same name: forwarded exports included.
ScopedImportPatch::ScopedImportPatch(HMODULE module, const char* dll, const char* function,
                                     const void* replacement) {
  HMODULE exporter = GetModuleHandleA(dll);
  void* target = exporter ? reinterpret_cast<void*>(GetProcAddress(exporter, function)) : nullptr;
  const IMAGE_DATA_DIRECTORY& imports = DataDirectory(module, IMAGE_DIRECTORY_ENTRY_IMPORT);
  if (!target || !imports.VirtualAddress) return;
  for (const auto* entry = AtRva<IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress); entry->Name; ++entry) {
    auto** slots = const_cast<void**>(AtRva<void*>(module, entry->FirstThunk));
    for (; *slots; ++slots) {
      if (*slots != target) continue;
      slot_ = slots;
      original_ = target;
      WriteSlot(slot_, const_cast<void*>(replacement));
      return;
    }
  }
}

ScopedImportPatch::~ScopedImportPatch() {
  if (slot_) WriteSlot(slot_, original_);
}

}  // namespace vnscope::test
