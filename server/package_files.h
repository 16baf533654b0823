// Report packages kept as files of their own in the data directory's
// "packages" folder, one per report, named after the report. A file is
// written and synced under its own name, the folder is synced, and only then
// is the report's row committed: the row is what makes the report exist. So
// a file without a committed row, whole or cut short, is left over from a
// submission that never completed, and the store removes it when it opens.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace vnscope::server {

inline constexpr char kPackagesFolder[] = "packages";
inline constexpr char kPackageSuffix[] = ".zip";
inline constexpr char kUnfinishedSuffix[] = ".tmp";

std::filesystem::path PackagePath(const std::filesystem::path& folder, const std::string& name);

// Writes `data` as NAME.zip in `folder`, replacing any file of that name, and
// syncs it; removes it again on failure. The new name is durable only once
// the folder is synced (SyncFolder), which the caller does before it relies
// on the file.
bool WritePackageFile(const std::filesystem::path& folder, const std::string& name, std::span<const uint8_t> data,
                      std::string* error);

// Copies a package file from one folder to another, checking that it has
// `expected_size` bytes: synced under a temporary name, then renamed, so that
// a file under its own name is whole even where no start-up pass cleans up.
// The copy gets exactly `mode`, whatever the umask.
bool CopyPackageFile(const std::filesystem::path& from_folder, const std::filesystem::path& to_folder,
                     const std::string& name, uint64_t expected_size, mode_t mode, std::string* error);

// Reads a whole package file, which must have `expected_size` bytes.
bool ReadPackageFile(const std::filesystem::path& folder, const std::string& name, uint64_t expected_size,
                     std::vector<uint8_t>* data, std::string* error);

// Makes the names created or renamed in `folder` durable.
bool SyncFolder(const std::filesystem::path& folder, std::string* error);

}  // namespace vnscope::server
