#include "monitors/watch_file.h"

#include <windows.h>

#include "monitors/monitor_limits.h"
#include "monitors/watch_list.h"
#include "win32/file_io.h"
#include "win32/win32_text.h"

namespace vnscope {
namespace {

std::wstring LocalAppData() {
  std::wstring value(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) return {};
    // Too small a buffer: the length returned counts the terminator.
    if (length < value.size()) return value.substr(0, length);
    value.resize(length);
  }
}

std::wstring WatchFolder() {
  const std::wstring base = LocalAppData();
  if (base.empty()) return {};
  const bool separated = base.back() == L'\\' || base.back() == L'/';
  return base + (separated ? L"" : L"\\") + L"vnscope\\watch";
}

}  // namespace

std::wstring WatchFilePath() {
  const std::wstring folder = WatchFolder();
  const std::wstring executable = ModuleFilePath(nullptr);
  if (folder.empty() || executable.empty()) return {};
  return folder + L"\\" + std::wstring(FileNameOf(executable)) + L".txt";
}

std::optional<std::vector<std::u16string>> ReadWatchFile() {
  const std::wstring path = WatchFilePath();
  if (path.empty()) return std::nullopt;
  std::string bytes;
  switch (ReadWholeFile(path, kMaxWatchFileBytes, &bytes)) {
    case FileRead::Read: break;
    case FileRead::Missing: return std::vector<std::u16string>{};
    case FileRead::TooLarge:
    case FileRead::Failed: return std::nullopt;
  }
  // Invalid UTF-8 becomes U+FFFD: such a name matches no variable and is
  // kept, as any other name the table lacks.
  std::u16string text;
  if (!Utf8ToUtf16(bytes, &text)) return std::nullopt;
  return ParseWatchFile(text);
}

bool WriteWatchFile(std::span<const std::u16string> names) {
  const std::wstring path = WatchFilePath();
  if (path.empty()) return false;
  // The folders one by one: CreateDirectory makes only the last.
  const std::wstring folder = WatchFolder();
  CreateDirectoryW(folder.substr(0, folder.find_last_of(L'\\')).c_str(), nullptr);
  CreateDirectoryW(folder.c_str(), nullptr);
  return ReplaceFileContents(path, Utf16ToUtf8(FormatWatchFile(names)));
}

}  // namespace vnscope
