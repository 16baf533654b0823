// The store's database opened by a tool of its own (backup, purge), beside
// any server using the same directory: SQLite's locks order the tool's
// transactions with the server's, and the server's lock file is left alone.
#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "server/socket_io.h"

namespace vnscope::server {

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;

// Opens the database file `path` with sqlite3_open_v2's `flags`, waiting out
// the server's short locks. Null with `error` set, naming the file.
Database OpenDatabase(const std::filesystem::path& path, int flags, std::string* error);

// Opens the database of the store at `path` as OpenDatabase does, and only
// when its tables are this server's: a store of an older server must first be
// brought up to date by starting the server on it.
Database OpenStoreDatabase(const std::filesystem::path& path, int flags, std::string* error);

// Waits until no other backup or purge of the store in `directory` runs, and
// holds it off until the descriptor is closed: a purge must not remove the
// package files of reports a backup is copying. The server takes no part.
// An invalid descriptor with `error` set when the lock file cannot be made.
UniqueFd LockMaintenance(const std::filesystem::path& directory, std::string* error);

// The first column of the first row of `sql`; false when there is none.
bool QueryInt(sqlite3* db, const char* sql, int64_t* value);

}  // namespace vnscope::server
