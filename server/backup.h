// Online backup: a consistent copy of a data directory that a server may be
// using at the same moment, into a new directory that a server can be started
// on as it is.
#pragma once
#include <sys/types.h>

#include <filesystem>
#include <string>

namespace vnscope::server {

// Copies the store in `data` into `target`, which must not exist or be
// empty: the database as of one moment, then the package files its rows
// point at (a purge waits until the backup is done, so they are all there). The database
// gets its name only once everything is copied and synced, so an interrupted
// backup never looks like a complete one. On success `summary` tells what was
// copied; on failure `error` tells why.
// A backup holds every report: its folders and files are readable by their
// owner and group only (a group of people allowed to restore), whatever the
// umask of whoever takes it.
inline constexpr mode_t kBackupFolderMode = 0750;
inline constexpr mode_t kBackupFileMode = 0640;

bool BackupStore(const std::filesystem::path& data, const std::filesystem::path& target, std::string* summary,
                 std::string* error);

}  // namespace vnscope::server
