#include "monitors/thumbnail_writer.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "monitors/bmp_writer.h"
#include "win32/unique_handle.h"

namespace vnscope {

bool WriteThumbnail(int32_t width, int32_t height, const uint8_t* pixels, int32_t index) {
  // An existing directory is the usual case, not a failure.
  CreateDirectoryW(L"thumbnail", nullptr);
  wchar_t name[32];
  std::swprintf(name, std::size(name), L"thumbnail\\%05d.bmp", static_cast<int>(index));
  std::vector<uint8_t> file;
  if (!EncodeBmp24(width, height, pixels, &file)) return true;
  // No sharing: a concurrent writer of the same index writes nothing.
  UniqueFile out(CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return true;
  DWORD written = 0;
  WriteFile(out.get(), file.data(), static_cast<DWORD>(file.size()), &written, nullptr);
  return true;
}

}  // namespace vnscope
