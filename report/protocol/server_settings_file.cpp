#include "report/protocol/server_settings_file.h"

#include <windows.h>

#include <atomic>
#include <string_view>

#include "report/protocol/limits.h"
#include "report/protocol/report_client.h"
#include "win32/module.h"
#include "win32/unique_handle.h"

namespace vnscope {
namespace {

// The module's full path; the buffer grows until the path fits (long paths
// are cut silently at any fixed size).
std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(ModuleInstance(), path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return path.substr(0, length);
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

std::wstring SettingsPath() {
  std::wstring path = ModulePath();
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return {};
  path.resize(slash + 1);
  for (char16_t unit : std::u16string_view(kServerSettingsFileName)) path.push_back(static_cast<wchar_t>(unit));
  return path;
}

ServerSettings ReadSettingsBesideModule() {
  const ServerEndpoint defaults = BuiltInServerEndpoint();
  const std::wstring path = SettingsPath();
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    if (path.empty() || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {defaults, {}};
    return {defaults, {SettingsProblem::Kind::Unreadable}};
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return {defaults, {SettingsProblem::Kind::Unreadable}};
  if (size.QuadPart > limits::kMaxSettingsFileBytes) return {defaults, {SettingsProblem::Kind::TooLarge}};
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!bytes.empty() && (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                         read != bytes.size())) {
    return {defaults, {SettingsProblem::Kind::Unreadable}};
  }
  return ParseServerSettings(bytes, defaults);
}

}  // namespace

const ServerSettings& ModuleServerSettings() {
  // The report dialog and the browser's worker may both ask first; the
  // initialisation of a local static runs exactly once.
  static const ServerSettings settings = ReadSettingsBesideModule();
  return settings;
}

ServerEndpoint BuildServerEndpoint() { return ModuleServerSettings().endpoint; }

std::u16string TakeServerSettingsNotice() {
  static std::atomic<bool> told{false};
  const ServerSettings& settings = ModuleServerSettings();
  if (settings.problem.kind == SettingsProblem::Kind::None || told.exchange(true)) return {};
  return DescribeSettingsProblem(settings.problem, settings.endpoint);
}

}  // namespace vnscope
