// The store's tables, and bringing the tables of older servers up to date.
#include <string>
#include <utility>
#include <vector>

#include "server/log.h"
#include "server/package_files.h"
#include "server/store.h"
#include "server/store_connection.h"

namespace vnscope::server {
namespace {

// Schema versions: 2 added the state history; 3 moved the packages out of
// their own table, large ones into files; 4 added the report ids; 5 added the
// game's label, the assignee, comments, who changed a state and the
// notifications' queue.
constexpr char kSchema[] = R"sql(
  CREATE TABLE IF NOT EXISTS reports(
    id          INTEGER PRIMARY KEY AUTOINCREMENT,  -- arrival order, never reused
    name        TEXT    NOT NULL UNIQUE,
    received_ms INTEGER NOT NULL,                   -- Unix time of arrival, UTC
    peer        TEXT    NOT NULL,                   -- address the package came from
    title       TEXT    NOT NULL,                   -- UTF-8 copies for people querying
    reporter    TEXT    NOT NULL,                   --   the database; clients get author
    flags       INTEGER NOT NULL,
    state       INTEGER NOT NULL,
    author      BLOB    NOT NULL,                   -- the package's author entry, verbatim
    package_bytes INTEGER NOT NULL DEFAULT 0,       -- size of the ZIP archive as submitted
    package     BLOB,                               -- that archive when small; NULL: packages/NAME.zip
    reportid    TEXT,                               -- the package's reportid entry; NULL without one
    label       TEXT,                               -- gamestate.txt's label line; NULL without one
    assignee    TEXT                                -- who took the report; NULL: nobody
  );
  CREATE TABLE IF NOT EXISTS state_changes(
    id         INTEGER PRIMARY KEY,
    report_id  INTEGER NOT NULL REFERENCES reports(id),
    changed_ms INTEGER NOT NULL,                    -- Unix time, UTC
    previous   INTEGER NOT NULL,
    state      INTEGER NOT NULL,
    source     TEXT    NOT NULL,                    -- 'browser', 'dashboard' or 'api'
    peer       TEXT    NOT NULL,
    by         TEXT    NOT NULL DEFAULT ''          -- the name the person gave; '' when unknown
  );
  CREATE INDEX IF NOT EXISTS state_changes_by_report ON state_changes(report_id);
  CREATE TABLE IF NOT EXISTS notes(                 -- comments and assignee changes
    id         INTEGER PRIMARY KEY,
    report_id  INTEGER NOT NULL REFERENCES reports(id),
    kind       TEXT    NOT NULL,                    -- 'comment' or 'assignee'
    at_ms      INTEGER NOT NULL,                    -- Unix time, UTC
    by         TEXT    NOT NULL,
    source     TEXT    NOT NULL,
    peer       TEXT    NOT NULL,
    previous   TEXT    NOT NULL DEFAULT '',         -- assignee: who had it
    text       TEXT    NOT NULL                     -- comment: its text; assignee: who has it now
  );
  CREATE INDEX IF NOT EXISTS notes_by_report ON notes(report_id);
  CREATE TABLE IF NOT EXISTS webhook_events(        -- what the notifications still have to send
    id       INTEGER PRIMARY KEY AUTOINCREMENT,     -- the order they go out in; never reused
    at_ms    INTEGER NOT NULL,
    event    TEXT    NOT NULL,
    name     TEXT    NOT NULL,
    title    TEXT    NOT NULL,
    reporter TEXT    NOT NULL,
    state    INTEGER NOT NULL,
    by       TEXT    NOT NULL,
    detail   TEXT    NOT NULL
  );
  CREATE TABLE IF NOT EXISTS webhook_progress(      -- per receiving URL
    url              TEXT PRIMARY KEY,
    delivered        INTEGER NOT NULL,              -- the last event it received
    failing_since_ms INTEGER NOT NULL DEFAULT 0     -- 0: not failing
  );
)sql";

// After the upgrades, when every column is there. The index is what makes a
// report id stored once: of two rows committed with one id, the second fails.
// Rows without an id (NULL) are never equal to each other.
constexpr char kIndexes[] = R"sql(
  CREATE UNIQUE INDEX IF NOT EXISTS reports_by_reportid ON reports(reportid);
  CREATE INDEX IF NOT EXISTS reports_by_label ON reports(label);
  CREATE INDEX IF NOT EXISTS reports_by_assignee ON reports(assignee);
)sql";

// The tables of versions 1 and 2 held every package in a table of its own.
constexpr char kUpgradeReports[] = R"sql(
  ALTER TABLE reports ADD COLUMN package_bytes INTEGER NOT NULL DEFAULT 0;
  ALTER TABLE reports ADD COLUMN package BLOB;
)sql";

// Reports stored before version 4 carry no id; their packages had none.
constexpr char kAddReportIds[] = R"sql(
  ALTER TABLE reports ADD COLUMN reportid TEXT;
)sql";

// Columns added in version 5, each only when missing: the tables of version
// 1 had no state history, and kSchema makes that table whole.
struct AddedColumn {
  const char* table;
  const char* column;
  const char* definition;
};
constexpr AddedColumn kVersion5Columns[] = {
    {"reports", "label", "TEXT"},
    {"reports", "assignee", "TEXT"},
    {"state_changes", "by", "TEXT NOT NULL DEFAULT ''"},
};

bool HasColumn(sqlite3* db, const char* table, const char* column) {
  Statement query(db, "SELECT 1 FROM pragma_table_info(?1) WHERE name = ?2");
  const std::string table_name = table, name = column;  // bound without a copy
  query.Bind(1, table_name);
  query.Bind(2, name);
  return query.Step() == SQLITE_ROW;
}

}  // namespace

bool ReportStore::UpdateSchema(std::string* error) {
  Connection& writer = *writer_;
  if (!writer.Exec("BEGIN IMMEDIATE", error)) return false;
  int version = 0;
  {
    Statement query(writer.db(), "PRAGMA user_version");
    if (query.Step() == SQLITE_ROW) version = sqlite3_column_int(query.get(), 0);
  }
  if (version > kSchemaVersion) {
    writer.Exec("ROLLBACK", nullptr);
    *error = "written by a newer server (schema " + std::to_string(version) + ")";
    return false;
  }
  const bool upgrading = version > 0 && version < kSchemaVersion;
  const std::string set_version = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
  if (!writer.Exec(kSchema, error) || (upgrading && !Upgrade(version, error)) || !writer.Exec(kIndexes, error) ||
      !writer.Exec(set_version.c_str(), error) || !writer.Exec("COMMIT", error)) {
    writer.Exec("ROLLBACK", nullptr);
    return false;
  }
  if (upgrading) {
    // Once the packages have left their table, their pages are free; give
    // them back to the file system.
    std::string detail;
    if (version < 3 && !writer.Exec("VACUUM", &detail)) LogLine("after bringing the store up to date: " + detail);
    LogLine("brought " + database_.string() + " from schema " + std::to_string(version) + " to " +
            std::to_string(kSchemaVersion));
  }
  return true;
}

bool ReportStore::Upgrade(int from, std::string* error) {
  if (from < 3 && !MovePackagesOutOfTheirTable(error)) return false;
  if (from < 4 && !writer_->Exec(kAddReportIds, error)) return false;
  for (const AddedColumn& added : kVersion5Columns) {
    if (from >= 5 || HasColumn(writer_->db(), added.table, added.column)) continue;
    const std::string sql =
        std::string("ALTER TABLE ") + added.table + " ADD COLUMN " + added.column + " " + added.definition;
    if (!writer_->Exec(sql.c_str(), error)) return false;
  }
  return true;
}

bool ReportStore::MovePackagesOutOfTheirTable(std::string* error) {
  Connection& writer = *writer_;
  if (!writer.Exec(kUpgradeReports, error)) return false;
  std::vector<std::pair<int64_t, std::string>> reports;
  {
    Statement query(writer.db(), "SELECT id, name FROM reports ORDER BY id");
    int rc;
    while ((rc = query.Step()) == SQLITE_ROW) reports.emplace_back(sqlite3_column_int64(query.get(), 0), query.Text(1));
    if (rc != SQLITE_DONE) return writer.Fail(error);
  }
  for (const auto& [id, name] : reports) {
    // One package in memory at a time: an old store may hold gigabytes.
    Statement load(writer.db(), "SELECT package FROM packages WHERE report_id = ?1");
    Statement keep(writer.db(), "UPDATE reports SET package_bytes = ?2, package = ?3 WHERE id = ?1");
    load.Bind(1, id);
    if (load.Step() != SQLITE_ROW) {
      *error = "report " + name + " has no package";
      return false;
    }
    const std::vector<uint8_t> package = load.Blob(0);
    keep.Bind(1, id);
    keep.Bind(2, static_cast<int64_t>(package.size()));
    if (package.size() <= kInlinePackageLimit) {
      keep.Bind(3, package);
    } else if (!WritePackageFile(packages_, name, package, error)) {
      return false;
    }
    if (keep.Step() != SQLITE_DONE) return writer.Fail(error);
  }
  // The files are durable before the commit that makes the rows point at them.
  return SyncFolder(packages_, error) && writer.Exec("DROP TABLE packages", error);
}

}  // namespace vnscope::server
