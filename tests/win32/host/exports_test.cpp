// The DLL's public surface as the loader sees it: five undecorated exports and
// imports from Windows system DLLs only.
#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "harness/harness.h"
#include "harness/pe_image.h"

namespace vnscope::test {
namespace {

std::set<std::string> ExportedNames(HMODULE module) {
  std::set<std::string> names;
  const IMAGE_DATA_DIRECTORY& dir = DataDirectory(module, IMAGE_DIRECTORY_ENTRY_EXPORT);
  if (!dir.VirtualAddress) return names;
  const auto* exports = AtRva<IMAGE_EXPORT_DIRECTORY>(module, dir.VirtualAddress);
  const auto* nameRvas = AtRva<DWORD>(module, exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) names.insert(AtRva<char>(module, nameRvas[i]));
  return names;
}

std::set<std::string> ImportedDlls(HMODULE module) {
  std::set<std::string> dlls;
  const IMAGE_DATA_DIRECTORY& dir = DataDirectory(module, IMAGE_DIRECTORY_ENTRY_IMPORT);
  for (const auto* entry = AtRva<IMAGE_IMPORT_DESCRIPTOR>(module, dir.VirtualAddress); entry->Name;
       ++entry) {
    std::string name = AtRva<char>(module, entry->Name);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    dlls.insert(name);
  }
  return dlls;
}

TEST(Exports, ExactlyTheFiveUndecoratedNames) {
  const VnscopeDll& dll = VnscopeDll::Get();
  ASSERT_NE(dll.module, nullptr);
  const std::set<std::string> expected = {"CreateMonitors", "DestroyMonitors", "DebugReport",
                                          "OutputClipboard", "OutputBMP32to24"};
  const std::set<std::string> names = ExportedNames(dll.module);
  EXPECT_EQ(names, expected);
  for (const std::string& name : names) {
    // stdcall or C++ decoration would show as @n suffixes, a leading _ or ?.
    EXPECT_EQ(name.find_first_of("@?"), std::string::npos) << name;
    EXPECT_NE(name.front(), '_') << name;
  }
  EXPECT_NE(dll.CreateMonitors, nullptr);
  EXPECT_NE(dll.DestroyMonitors, nullptr);
  EXPECT_NE(dll.DebugReport, nullptr);
  EXPECT_NE(dll.OutputClipboard, nullptr);
  EXPECT_NE(dll.OutputBMP32to24, nullptr);
}

TEST(Exports, ImportsOnlyWindowsSystemDlls) {
  const VnscopeDll& dll = VnscopeDll::Get();
  ASSERT_NE(dll.module, nullptr);
  // libgcc, libstdc++, winpthread, zlib and libpng are linked in statically.
  const std::set<std::string> system = {"kernel32.dll", "user32.dll",   "gdi32.dll",
                                        "comctl32.dll", "comdlg32.dll", "shell32.dll",
                                        "advapi32.dll", "ws2_32.dll",   "msvcrt.dll",
                                        "ole32.dll",    "bcrypt.dll"};
  const std::set<std::string> imported = ImportedDlls(dll.module);
  EXPECT_FALSE(imported.empty());
  for (const std::string& name : imported) EXPECT_TRUE(system.count(name)) << name;
}

// The tests run as the DLL's users do: Japanese Windows, ANSI code page 932.
TEST(Environment, AnsiCodePageIsShiftJis) { EXPECT_EQ(GetACP(), 932u); }

}  // namespace
}  // namespace vnscope::test
