#include "win32/file_io.h"

#include <shlobj.h>

#include <algorithm>

#include "win32/unique_handle.h"

namespace vnscope {

std::wstring ModuleFilePath(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return path.substr(0, length);
    // The longest path Windows knows is 32,767 units.
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

std::wstring_view FileNameOf(std::wstring_view path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

FileRead ReadWholeFile(const std::wstring& path, uint64_t maxBytes, std::string* bytes) {
  bytes->clear();
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileRead::Missing : FileRead::Failed;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return FileRead::Failed;
  if (static_cast<uint64_t>(size.QuadPart) > maxBytes) return FileRead::TooLarge;
  bytes->resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes->empty() && (!ReadFile(file.get(), bytes->data(), static_cast<DWORD>(bytes->size()), &read, nullptr) ||
                          read != bytes->size())) {
    bytes->clear();
    return FileRead::Failed;
  }
  return FileRead::Read;
}

bool ReplaceFileContents(const std::wstring& path, std::span<const uint8_t> bytes) {
  const std::wstring temporary = path + kReplacingSuffix;
  bool written = false;
  {
    UniqueFile file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file) return false;
    while (!bytes.empty()) {
      DWORD done = 0;
      const DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes.size(), kFilePiece));
      if (!WriteFile(file.get(), bytes.data(), piece, &done, nullptr) || done == 0) break;
      bytes = bytes.subspan(done);
    }
    written = bytes.empty() && FlushFileBuffers(file.get()) != 0;
  }
  if (written &&
      MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(temporary.c_str());
  return false;
}

std::wstring LocalAppDataPath(std::wstring_view relative) {
  std::wstring value(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) return {};
    if (length < value.size()) {
      value.resize(length);
      break;
    }
    value.resize(length);  // too small: the length returned counts the terminator
  }
  if (value.back() != L'\\' && value.back() != L'/') value.push_back(L'\\');
  return value.append(relative);
}

bool MakeFolders(const std::wstring& folder) {
  const int made = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  return made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS || made == ERROR_FILE_EXISTS;
}

}  // namespace vnscope
