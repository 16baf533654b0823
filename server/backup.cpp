#include "server/backup.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "server/log.h"
#include "server/package_files.h"
#include "server/store.h"
#include "server/store_beside.h"

namespace vnscope::server {
namespace {

constexpr char kPartialSuffix[] = ".partial";

bool SyncFile(const std::filesystem::path& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const bool ok = fd >= 0 && fsync(fd) == 0;
  if (fd >= 0) close(fd);
  return ok;
}

// The consistent copy of the database: one backup step over the whole file
// reads it in one transaction, whatever the server commits meanwhile.
bool CopyDatabase(const std::filesystem::path& source_path, const std::filesystem::path& copy_path,
                  std::string* error) {
  Database source = OpenStoreDatabase(source_path, SQLITE_OPEN_READONLY, error);
  if (!source) return false;
  // Created here so that it has its mode from the start; SQLite takes an
  // empty file for a new database, and gives its journal the same mode.
  const int created = open(copy_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kBackupFileMode);
  if (created < 0 || fchmod(created, kBackupFileMode) != 0) {
    *error = "cannot create " + copy_path.string() + ": " + std::strerror(errno);
    if (created >= 0) close(created);
    return false;
  }
  close(created);
  Database copy = OpenDatabase(copy_path, SQLITE_OPEN_READWRITE, error);
  if (!copy) return false;
  sqlite3_backup* backup = sqlite3_backup_init(copy.get(), "main", source.get(), "main");
  if (!backup) {
    *error = copy_path.string() + ": " + sqlite3_errmsg(copy.get());
    return false;
  }
  int rc;
  while ((rc = sqlite3_backup_step(backup, -1)) == SQLITE_BUSY || rc == SQLITE_LOCKED) sqlite3_sleep(50);
  sqlite3_backup_finish(backup);
  if (rc != SQLITE_DONE) {
    *error = "copying " + source_path.string() + ": " + sqlite3_errstr(rc);
    return false;
  }
  return true;
}

}  // namespace

bool BackupStore(const std::filesystem::path& data, const std::filesystem::path& target, std::string* summary,
                 std::string* error) {
  std::error_code ec;
  if (std::filesystem::exists(target, ec) && !std::filesystem::is_empty(target, ec)) {
    *error = target.string() + " is not empty; a backup goes into a new directory";
    return false;
  }
  const std::filesystem::path packages = target / kPackagesFolder;
  const bool target_existed = std::filesystem::exists(target, ec);
  std::filesystem::create_directories(packages, ec);
  if (!ec && !target_existed) std::filesystem::permissions(target, std::filesystem::perms(kBackupFolderMode), ec);
  if (!ec) std::filesystem::permissions(packages, std::filesystem::perms(kBackupFolderMode), ec);
  if (ec) {
    *error = "cannot create " + packages.string() + ": " + ec.message();
    return false;
  }
  const std::filesystem::path copy_path = target / (std::string(kDatabaseFile) + kPartialSuffix);
  auto fail = [&](const std::string& why) {
    *error = why;
    std::filesystem::remove(copy_path, ec);
    return false;
  };
  std::string lock_error;
  const UniqueFd maintenance = LockMaintenance(data, &lock_error);
  // Without write access to the store the lock cannot be made; then nothing
  // but the server can change the store either, and the copy goes ahead.
  if (!maintenance) LogLine("backup without the maintenance lock: " + lock_error);
  if (!CopyDatabase(data / kDatabaseFile, copy_path, error)) return fail(*error);

  // The files of the rows in the copy: all committed before it was taken, so
  // all present and whole in the source, as no purge runs meanwhile.
  int64_t reports = 0, files = 0;
  {
    Database copy = OpenDatabase(copy_path, SQLITE_OPEN_READWRITE, error);
    if (!copy) return fail(*error);
    sqlite3_stmt* query = nullptr;
    sqlite3_prepare_v2(copy.get(), "SELECT name, package_bytes FROM reports WHERE package IS NULL", -1, &query,
                       nullptr);
    int rc;
    std::string copy_error;
    while ((rc = sqlite3_step(query)) == SQLITE_ROW) {
      const std::string name(reinterpret_cast<const char*>(sqlite3_column_text(query, 0)));
      if (!CopyPackageFile(data / kPackagesFolder, packages, name, sqlite3_column_int64(query, 1), kBackupFileMode,
                           &copy_error))
        break;
      ++files;
    }
    sqlite3_finalize(query);
    if (!copy_error.empty()) return fail(copy_error);
    if (rc != SQLITE_DONE) return fail(copy_path.string() + ": " + sqlite3_errmsg(copy.get()));
    // Checkpoints the copy into its one file, which the rename below names.
    if (sqlite3_exec(copy.get(), "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr) != SQLITE_OK ||
        !QueryInt(copy.get(), "SELECT count(*) FROM reports", &reports))
      return fail(copy_path.string() + ": " + sqlite3_errmsg(copy.get()));
  }
  std::string sync_error;
  if (!SyncFolder(packages, &sync_error) || !SyncFile(copy_path)) return fail(sync_error.empty() ? "cannot sync " + copy_path.string() : sync_error);
  if (rename(copy_path.c_str(), (target / kDatabaseFile).c_str()) != 0 || !SyncFolder(target, &sync_error))
    return fail(sync_error.empty() ? "cannot name " + (target / kDatabaseFile).string() : sync_error);
  *summary = std::to_string(reports) + " reports (" + std::to_string(files) + " package files)";
  return true;
}

}  // namespace vnscope::server
