// A loaded module's PE image as the loader laid it out: its data
// directories, and its import address table, where a test can swap one
// imported function for its own to make a system call fail on demand.
#pragma once
#include <windows.h>

namespace vnscope::test {

template <typename T>
const T* AtRva(HMODULE module, DWORD rva) {
  return reinterpret_cast<const T*>(reinterpret_cast<const BYTE*>(module) + rva);
}

const IMAGE_DATA_DIRECTORY& DataDirectory(HMODULE module, int index);

// While it lives, `module`'s calls to `function` of `dll` go to `replacement`.
class ScopedImportPatch {
 public:
  ScopedImportPatch(HMODULE module, const char* dll, const char* function, const void* replacement);
  ~ScopedImportPatch();
  ScopedImportPatch(const ScopedImportPatch&) = delete;
  ScopedImportPatch& operator=(const ScopedImportPatch&) = delete;

  // False when the module does not import the function.
  bool patched() const { return slot_ != nullptr; }

 private:
  void** slot_ = nullptr;
  void* original_ = nullptr;
};

}  // namespace vnscope::test
