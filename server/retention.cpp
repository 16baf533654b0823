#include "server/retention.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "report/protocol/report_states.h"
#include "report/protocol/utf8_text.h"
#include "server/package.h"
#include "server/package_files.h"
#include "server/protocol.h"
#include "server/store.h"
#include "server/store_beside.h"
#include "server/store_connection.h"

namespace vnscope::server {
namespace {

// The rule as SQL over the reports table: ?1 is the cut, ?2 on the states.
std::string Selection(const PurgeRule& rule) {
  std::string sql = "received_ms <= ?1";
  if (rule.states.empty()) return sql;
  sql += " AND state IN (";
  for (size_t i = 0; i < rule.states.size(); ++i) sql += (i ? ", ?" : "?") + std::to_string(i + 2);
  return sql + ")";
}

void BindRule(Statement& statement, const PurgeRule& rule) {
  statement.Bind(1, rule.cut_ms);
  for (size_t i = 0; i < rule.states.size(); ++i) statement.Bind(static_cast<int>(i + 2), int64_t{rule.states[i]});
}

// Runs `sql` over the selected reports; false with `error` set on failure.
bool RunOverSelection(sqlite3* db, const std::string& sql, const PurgeRule& rule, std::string* error) {
  Statement statement(db, sql.c_str());
  BindRule(statement, rule);
  if (statement.Step() == SQLITE_DONE) return true;
  *error = sqlite3_errmsg(db);
  return false;
}

}  // namespace

std::optional<int64_t> PurgeCut(int64_t now_ms, int64_t days) {
  if (days < 0 || now_ms < 0 || days > now_ms / kDayMs) return std::nullopt;
  return now_ms - days * kDayMs;
}

std::optional<uint32_t> ParseReportState(const std::string& text) {
  for (const ReportStateLook& look : kReportStateLooks) {
    if (text == EncodeUtf8(look.label)) return look.state;
  }
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* first = text.data() + (hex ? 2 : 0);
  const char* last = text.data() + text.size();
  uint32_t state = 0;
  const auto [end, ec] = std::from_chars(first, last, state, hex ? 16 : 10);
  if (first == last || ec != std::errc() || end != last || !IsKnownState(state)) return std::nullopt;
  return state;
}

bool PurgeReports(const std::filesystem::path& directory, const PurgeRule& rule, bool dry_run,
                  std::vector<std::string>* names, std::string* error) {
  UniqueFd maintenance;
  if (!dry_run && !(maintenance = LockMaintenance(directory, error))) return false;
  const std::filesystem::path database_path = directory / kDatabaseFile;
  Database database = OpenStoreDatabase(database_path, SQLITE_OPEN_READWRITE, error);
  if (!database) return false;
  sqlite3* db = database.get();
  // Before the commit nothing was removed, and no name is given.
  auto fail = [&] {
    names->clear();
    *error = database_path.string() + ": " + *error;
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  };
  // IMMEDIATE: the server's writes wait (moments) until the rows are gone,
  // so none of them lands between the selection and the deletes.
  if (sqlite3_exec(db, dry_run ? "BEGIN" : "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    *error = sqlite3_errmsg(db);
    return fail();
  }
  const std::string selection = Selection(rule);
  std::vector<std::string> files;  // names of the reports whose packages are files
  names->clear();
  {
    Statement query(db, ("SELECT name, package IS NULL FROM reports WHERE " + selection + " ORDER BY id").c_str());
    BindRule(query, rule);
    int rc;
    while ((rc = query.Step()) == SQLITE_ROW) {
      names->push_back(query.Text(0));
      if (sqlite3_column_int(query.get(), 1)) files.push_back(names->back());
    }
    if (rc != SQLITE_DONE) {
      *error = sqlite3_errmsg(db);
      return fail();
    }
  }
  if (dry_run) {
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    return true;
  }
  if (!RunOverSelection(db, "DELETE FROM state_changes WHERE report_id IN (SELECT id FROM reports WHERE " + selection + ")",
                        rule, error) ||
      !RunOverSelection(db, "DELETE FROM notes WHERE report_id IN (SELECT id FROM reports WHERE " + selection + ")",
                        rule, error) ||
      !RunOverSelection(db, "DELETE FROM reports WHERE " + selection, rule, error))
    return fail();
  if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    *error = sqlite3_errmsg(db);
    return fail();
  }

  // The rows are gone, so nothing reads these files any more.
  const std::filesystem::path packages = directory / kPackagesFolder;
  std::string left;
  for (const std::string& name : files) {
    const std::filesystem::path path = PackagePath(packages, name);
    if (unlink(path.c_str()) != 0 && errno != ENOENT && left.empty())
      left = "cannot remove " + path.string() + ": " + std::strerror(errno);
  }
  std::string sync_error;
  if (!files.empty() && !SyncFolder(packages, &sync_error) && left.empty()) left = sync_error;
  if (left.empty()) return true;
  *error = left + " (its report is gone; the server removes the file when it next starts)";
  return false;
}

}  // namespace vnscope::server
