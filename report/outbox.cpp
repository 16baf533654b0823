#include "report/outbox.h"

#include <algorithm>
#include <climits>

#include "report/protocol/limits.h"
#include "report/protocol/report_id.h"
#include "win32/file_io.h"

namespace vnscope {
namespace {

constexpr wchar_t kWaitingSuffix[] = L".zip";
constexpr wchar_t kRefusedFolder[] = L"refused\\";

inline void CloseSearch(HANDLE search) { FindClose(search); }
using UniqueSearch = UniqueAny<HANDLE, CloseSearch, -1>;

// %LOCALAPPDATA%\vnscope\outbox\, or empty when the variable is not set.
std::wstring OutboxFolder() { return LocalAppDataPath(L"vnscope\\outbox\\"); }

// The report id a file name stands for when it ends in `suffix`; empty otherwise.
std::string IdOfName(std::wstring_view name, std::wstring_view suffix) {
  if (!name.ends_with(suffix)) return {};
  name.remove_suffix(suffix.size());
  std::string id;
  for (wchar_t unit : name) {
    if (unit >= 0x80) return {};
    id.push_back(static_cast<char>(unit));
  }
  return IsReportId(id) ? id : std::string();
}

struct FoundFile {
  FILETIME written;
  std::wstring name;
};

// The files of `folder` whose names stand for a report id with `suffix`.
std::vector<FoundFile> FilesOf(const std::wstring& folder, std::wstring_view suffix) {
  std::vector<FoundFile> files;
  WIN32_FIND_DATAW found;
  UniqueSearch search(FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                       nullptr, 0));
  if (!search) return files;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && !IdOfName(found.cFileName, suffix).empty()) {
      files.push_back({found.ftLastWriteTime, found.cFileName});
    }
  } while (FindNextFileW(search.get(), &found));
  return files;
}

bool ReadWholeFile(HANDLE file, std::vector<uint8_t>* bytes) {
  LARGE_INTEGER size{};
  // The protocol's length field is 32 bits: no package is larger.
  if (!GetFileSizeEx(file, &size) || size.QuadPart > UINT32_MAX) return false;
  bytes->resize(static_cast<size_t>(size.QuadPart));
  for (size_t done = 0; done < bytes->size();) {
    DWORD read = 0;
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes->size() - done, kFilePiece));
    if (!ReadFile(file, bytes->data() + done, piece, &read, nullptr) || read == 0) return false;
    done += read;
  }
  return true;
}

// Renames the file behind `file`, which holds it without sharing: no one else
// could open it to rename it, not even this process by its name.
bool RenameHeldFile(HANDLE file, const std::wstring& target) {
  const size_t nameBytes = target.size() * sizeof(wchar_t);
  std::vector<uint8_t> block(sizeof(FILE_RENAME_INFO) + nameBytes);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(block.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(nameBytes);
  std::copy(target.begin(), target.end(), rename->FileName);
  return SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(block.size())) != 0;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\') + 1); }

}  // namespace

bool KeepInOutbox(const std::string& reportId, std::span<const uint8_t> package) {
  const std::wstring folder = OutboxFolder();
  if (!IsReportId(reportId) || folder.empty() || !MakeFolders(folder)) return false;
  const std::wstring waiting = folder + std::wstring(reportId.begin(), reportId.end()) + kWaitingSuffix;
  ReplaceFileContents(waiting, package);
  return GetFileAttributesW(waiting.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> WaitingReports() {
  const std::wstring folder = OutboxFolder();
  if (folder.empty()) return {};
  std::vector<FoundFile> files = FilesOf(folder, kWaitingSuffix);
  std::sort(files.begin(), files.end(), [](const FoundFile& a, const FoundFile& b) {
    const LONG order = CompareFileTime(&a.written, &b.written);
    return order != 0 ? order < 0 : a.name < b.name;
  });
  std::vector<std::wstring> paths;
  paths.reserve(files.size());
  for (const FoundFile& file : files) paths.push_back(folder + file.name);
  return paths;
}

void RemoveAbandonedWrites() {
  const std::wstring folder = OutboxFolder();
  if (folder.empty()) return;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const auto ticks = [](const FILETIME& time) { return ULARGE_INTEGER{{time.dwLowDateTime, time.dwHighDateTime}}.QuadPart; };
  // File times count 100-nanosecond ticks.
  const uint64_t abandoned = uint64_t{limits::kAbandonedWriteMs} * 10'000;
  // What ReplaceFileContents left before its rename.
  for (const FoundFile& file : FilesOf(folder, std::wstring(kWaitingSuffix) + kReplacingSuffix)) {
    if (ticks(now) - ticks(file.written) > abandoned) DeleteFileW((folder + file.name).c_str());
  }
}

std::optional<TakenReport> TakenReport::Take(const std::wstring& path) {
  // DELETE access lets the holder remove or move the file it holds.
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
  std::vector<uint8_t> package;
  if (!file || !ReadWholeFile(file.get(), &package)) return std::nullopt;
  return TakenReport(std::move(file), path, std::move(package));
}

bool TakenReport::Delivered() {
  FILE_DISPOSITION_INFO disposition{TRUE};
  const bool marked =
      SetFileInformationByHandle(file_.get(), FileDispositionInfo, &disposition, sizeof disposition) != 0;
  file_.reset();  // a file marked for deletion goes as its last handle closes
  return marked || DeleteFileW(path_.c_str());
}

bool TakenReport::Refused() {
  const std::wstring folder = FolderOf(path_) + kRefusedFolder;
  const std::wstring target = folder + path_.substr(FolderOf(path_).size());
  const bool moved = MakeFolders(folder) && RenameHeldFile(file_.get(), target);
  file_.reset();
  return moved || MoveFileExW(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace vnscope
