// The version engine teams read in the file properties of what we ship: the
// bundle's DLL and demo carry the release version from the build and the
// source revision, as Windows' own version functions return them.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "vnscope_revision.h"
#include "vnscope_version.h"

namespace vnscope::test {
namespace {

struct FileVersion {
  bool found = false;
  VS_FIXEDFILEINFO fixed{};
  std::vector<BYTE> block;

  // A string of the U.S. English, Unicode block the resource declares.
  std::wstring String(const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value) return {};
    return std::wstring(value, wcsnlen(value, length));
  }
};

FileVersion ReadVersion(const std::filesystem::path& file) {
  FileVersion version;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return version;
  version.block.resize(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, version.block.data())) return version;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(version.block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed) return version;
  version.fixed = *fixed;
  version.found = fixed->dwSignature == VS_FFI_SIGNATURE;
  return version;
}

std::wstring Wide(const char* text) { return std::wstring(text, text + strlen(text)); }

TEST(VersionResource, BundleBinariesCarryTheReleaseAndTheRevision) {
  wchar_t tests[MAX_PATH];
  GetModuleFileNameW(nullptr, tests, MAX_PATH);
  const std::filesystem::path bundle = std::filesystem::path(tests).parent_path() / VNSCOPE_BUNDLE_FOLDER;
  const struct {
    const wchar_t* file;
    DWORD type;
  } binaries[] = {{L"vnscope.dll", VFT_DLL}, {L"vnscope-demo.exe", VFT_APP}};
  const DWORD high = MAKELONG(VNSCOPE_VERSION_MINOR, VNSCOPE_VERSION_MAJOR);
  const DWORD low = MAKELONG(0, VNSCOPE_VERSION_PATCH);
  for (const auto& binary : binaries) {
    SCOPED_TRACE(Narrow(binary.file));
    FileVersion version = ReadVersion(bundle / binary.file);
    ASSERT_TRUE(version.found);
    EXPECT_EQ(version.fixed.dwFileVersionMS, high);
    EXPECT_EQ(version.fixed.dwFileVersionLS, low);
    EXPECT_EQ(version.fixed.dwProductVersionMS, high);
    EXPECT_EQ(version.fixed.dwFileType, binary.type);
    EXPECT_EQ(version.String(L"FileVersion"), Wide(VNSCOPE_VERSION_TEXT));
    EXPECT_EQ(version.String(L"ProductVersion"), Wide(VNSCOPE_VERSION_TEXT " (" VNSCOPE_REVISION ")"));
    EXPECT_EQ(version.String(L"OriginalFilename"), binary.file);
    EXPECT_EQ(version.String(L"ProductName"), L"vnscope");
  }
}

}  // namespace
}  // namespace vnscope::test
