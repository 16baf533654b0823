#include "report/protocol/server_settings_file.h"

#include <windows.h>

#include <atomic>
#include <string_view>

#include "report/protocol/limits.h"
#include "report/protocol/report_client.h"
#include "win32/file_io.h"
#include "win32/module.h"

namespace vnscope {
namespace {

std::wstring SettingsPath() {
  std::wstring path = ModuleFilePath(ModuleInstance());
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return {};
  path.resize(slash + 1);
  for (char16_t unit : std::u16string_view(kServerSettingsFileName)) path.push_back(static_cast<wchar_t>(unit));
  return path;
}

ServerSettings ReadSettingsBesideModule() {
  const ServerEndpoint defaults = BuiltInServerEndpoint();
  const std::wstring path = SettingsPath();
  if (path.empty()) return {defaults, {}};
  std::string bytes;
  switch (ReadWholeFile(path, limits::kMaxSettingsFileBytes, &bytes)) {
    case FileRead::Read: return ParseServerSettings(bytes, defaults);
    case FileRead::Missing: return {defaults, {}};
    case FileRead::TooLarge: return {defaults, {SettingsProblem::Kind::TooLarge}};
    case FileRead::Failed: break;
  }
  return {defaults, {SettingsProblem::Kind::Unreadable}};
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
