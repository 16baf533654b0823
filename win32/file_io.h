// Files read and written whole, and the paths of loaded modules.
#pragma once
#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vnscope {

// ReadFile and WriteFile count in DWORDs; pieces this large keep every count
// far from the limit without costing calls.
inline constexpr DWORD kFilePiece = 1u << 20;
// What ReplaceFileContents appends to the path for the file it writes before
// the rename.
inline constexpr wchar_t kReplacingSuffix[] = L".tmp";

// The full path of `module` (null: the executable); empty when it cannot be
// read. The buffer grows until the path fits: long paths are not cut.
std::wstring ModuleFilePath(HMODULE module);

// The part of a path after its last "\" or "/".
std::wstring_view FileNameOf(std::wstring_view path);

// `relative` under the user's %LOCALAPPDATA%, or empty when the variable is
// not set. Read at every use, like the rest of the environment a process may
// change.
std::wstring LocalAppDataPath(std::wstring_view relative);

// Makes a folder and any missing folders above it; true when it exists after.
bool MakeFolders(const std::wstring& folder);

enum class FileRead { Read, Missing, TooLarge, Failed };

// Reads a whole file into `bytes`. A file over `maxBytes` is refused before
// anything is allocated; a path that names no file (or no folder) is Missing.
FileRead ReadWholeFile(const std::wstring& path, uint64_t maxBytes, std::string* bytes);

// Replaces a file's contents: the bytes go to a temporary file beside it
// ("<path>.tmp"), reach the disk, and only then take the file's name, so a
// write cut short (a full disk, a crash, a power cut) never stands under the
// name. False when any step failed; the old file is then whole.
bool ReplaceFileContents(const std::wstring& path, std::span<const uint8_t> bytes);
inline bool ReplaceFileContents(const std::wstring& path, std::string_view bytes) {
  return ReplaceFileContents(path, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace vnscope
