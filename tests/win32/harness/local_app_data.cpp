#include "harness/local_app_data.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vnscope::test {

PrivateLocalAppData::PrivateLocalAppData() {
  wchar_t buffer[32768];
  const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, 32768);
  hadPrevious_ = length > 0 && length < 32768;
  if (hadPrevious_) previous_.assign(buffer, length);
  static int counter = 0;
  std::error_code error;
  path_ = (std::filesystem::temp_directory_path(error) /
           (L"vnscope-local-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter)))
              .wstring();
  std::filesystem::remove_all(path_, error);
  std::filesystem::create_directories(path_, error);
  SetEnvironmentVariableW(L"LOCALAPPDATA", path_.c_str());
}

PrivateLocalAppData::~PrivateLocalAppData() {
  SetEnvironmentVariableW(L"LOCALAPPDATA", hadPrevious_ ? previous_.c_str() : nullptr);
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

std::vector<std::wstring> PrivateLocalAppData::OutboxFiles(const std::wstring& folder) const {
  std::vector<std::wstring> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(outbox() + folder, error)) {
    if (entry.is_regular_file(error)) names.push_back(entry.path().filename().wstring());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace vnscope::test
