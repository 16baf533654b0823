#include "monitors/watch_file.h"

#include <windows.h>

#include "monitors/monitor_limits.h"
#include "monitors/watch_list.h"
#include "win32/file_io.h"
#include "win32/win32_text.h"

namespace vnscope {
namespace {

std::wstring WatchFolder() { return LocalAppDataPath(L"vnscope\\watch"); }

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
  MakeFolders(WatchFolder());
  return ReplaceFileContents(path, Utf16ToUtf8(FormatWatchFile(names)));
}

}  // namespace vnscope
