#include "browser/snapshot_opener.h"

#include <shellapi.h>

#include <string>

#include "win32/unique_handle.h"

namespace vnscope {
namespace {

// A unique file "ss….tmp" in the temporary folder, created empty; empty when
// the folder or the name cannot be had.
std::wstring MakeTemporaryFile() {
  wchar_t folder[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, folder);
  if (length == 0 || length >= MAX_PATH) return {};
  wchar_t file[MAX_PATH];
  if (GetTempFileNameW(folder, L"ss", 0, file) == 0) return {};
  return file;
}

bool WriteWhole(const std::wstring& path, std::span<const uint8_t> bytes) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

// ShellExecuteExW counts as a launch only when it says so and its instance
// value is above 32 (the old error codes lie at or below it).
bool Launch(SHELLEXECUTEINFOW* info) {
  info->cbSize = sizeof(*info);
  info->fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info->nShow = SW_SHOWNORMAL;
  return ShellExecuteExW(info) && reinterpret_cast<INT_PTR>(info->hInstApp) > 32;
}

HANDLE StartEditor(const std::wstring& png) {
  // Quoted: the temporary folder may hold spaces ("Local Settings"), and an
  // editor splits its command line there.
  const std::wstring parameters = L"\"" + png + L"\"";
  SHELLEXECUTEINFOW named{};
  named.lpFile = L"photoshop";
  named.lpParameters = parameters.c_str();
  if (Launch(&named)) return named.hProcess != nullptr ? named.hProcess : INVALID_HANDLE_VALUE;
  SHELLEXECUTEINFOW edit{};
  edit.lpVerb = L"edit";
  edit.lpFile = png.c_str();
  if (Launch(&edit)) return edit.hProcess != nullptr ? edit.hProcess : INVALID_HANDLE_VALUE;
  return nullptr;
}

}  // namespace

bool OpenSnapshotInEditor(std::span<const uint8_t> png, DWORD idleWaitMs) {
  const std::wstring temporary = MakeTemporaryFile();
  if (temporary.empty()) return false;
  // A truncated PNG must not reach the editor, nor stay behind.
  if (!WriteWhole(temporary, png)) {
    DeleteFileW(temporary.c_str());
    return false;
  }
  const std::wstring path = temporary + L".png";
  if (!MoveFileW(temporary.c_str(), path.c_str())) {
    DeleteFileW(temporary.c_str());
    return false;
  }
  const HANDLE process = StartEditor(path);
  if (process == nullptr) {
    DeleteFileW(path.c_str());
    return false;
  }
  // A launch handed to a running program (DDE) gives no process to wait for.
  if (process != INVALID_HANDLE_VALUE) {
    UniqueHandle owned(process);
    WaitForInputIdle(owned.get(), idleWaitMs);
  }
  return true;
}

}  // namespace vnscope
