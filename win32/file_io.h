// Files read and written whole, and the paths of loaded modules.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace vnscope {

// The full path of `module` (null: the executable); empty when it cannot be
// read. The buffer grows until the path fits: long paths are not cut.
std::wstring ModuleFilePath(HMODULE module);

// The part of a path after its last "\" or "/".
std::wstring_view FileNameOf(std::wstring_view path);

enum class FileRead { Read, Missing, TooLarge, Failed };

// Reads a whole file into `bytes`. A file over `maxBytes` is refused before
// anything is allocated; a path that names no file (or no folder) is Missing.
FileRead ReadWholeFile(const std::wstring& path, uint64_t maxBytes, std::string* bytes);

// Replaces a file's contents: the bytes go to a temporary file beside it,
// which then takes its place, so a write that fails half-way leaves the old
// file whole. False when any step failed.
bool ReplaceFileContents(const std::wstring& path, std::string_view bytes);

}  // namespace vnscope
