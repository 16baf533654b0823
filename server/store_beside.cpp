#include "server/store_beside.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstring>

#include "server/log.h"

#include "server/store.h"

namespace vnscope::server {
namespace {

// The server's writer and its checkpoints hold locks for moments; wait them out.
constexpr int kBusyTimeoutMs = 10'000;
constexpr char kMaintenanceLockFile[] = "maintenance.lock";

}  // namespace

Database OpenDatabase(const std::filesystem::path& path, int flags, std::string* error) {
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  Database database(db);
  if (rc != SQLITE_OK) {
    *error = path.string() + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    return nullptr;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  return database;
}

Database OpenStoreDatabase(const std::filesystem::path& path, int flags, std::string* error) {
  Database database = OpenDatabase(path, flags, error);
  if (!database) return nullptr;
  int64_t version = 0;
  if (!QueryInt(database.get(), "PRAGMA user_version", &version)) {
    *error = path.string() + ": " + sqlite3_errmsg(database.get());
    return nullptr;
  }
  if (version != kSchemaVersion) {
    *error = path.string() + " has schema " + std::to_string(version) + ", this server's is " +
             std::to_string(kSchemaVersion) + "; start the server on it once to bring it up to date";
    return nullptr;
  }
  return database;
}

UniqueFd LockMaintenance(const std::filesystem::path& directory, std::string* error) {
  const std::filesystem::path path = directory / kMaintenanceLockFile;
  // Readable by all who may read the store: a backup may run as another
  // user than the server, and a shared lock on a read-only descriptor works.
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644));
  if (!fd) {
    *error = "cannot open " + path.string() + ": " + std::strerror(errno);
    return {};
  }
  if (flock(fd.get(), LOCK_EX | LOCK_NB) == 0) return fd;
  LogLine("waiting for another backup or purge of " + directory.string() + " to finish");
  while (flock(fd.get(), LOCK_EX) != 0) {
    if (errno != EINTR) {
      *error = "cannot lock " + path.string() + ": " + std::strerror(errno);
      return {};
    }
  }
  return fd;
}

bool QueryInt(sqlite3* db, const char* sql, int64_t* value) {
  sqlite3_stmt* statement = nullptr;
  bool ok = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW;
  if (ok) *value = sqlite3_column_int64(statement, 0);
  sqlite3_finalize(statement);
  return ok;
}

}  // namespace vnscope::server
