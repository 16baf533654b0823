// Reading the store: the list reply, packages, the dashboard's pages and a
// report's details; and the one change a stored report undergoes, its state.
#include <string>

#include "server/package_files.h"
#include "server/store.h"
#include "server/store_connection.h"

namespace vnscope::server {
namespace {

// A LIKE pattern that matches `text` anywhere, its wildcards taken literally.
std::string ContainsPattern(const std::string& text) {
  std::string pattern = "%";
  for (char c : text) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return pattern + "%";
}

constexpr char kRowColumns[] = "name, received_ms, title, reporter, flags, state";

ReportRow ReadRow(const Statement& query, int first) {
  ReportRow row;
  row.name = query.Text(first);
  row.received_ms = sqlite3_column_int64(query.get(), first + 1);
  row.title = query.Text(first + 2);
  row.reporter = query.Text(first + 3);
  row.flags = static_cast<uint32_t>(sqlite3_column_int64(query.get(), first + 4));
  row.state = static_cast<uint32_t>(sqlite3_column_int64(query.get(), first + 5));
  return row;
}

}  // namespace

std::optional<std::vector<ListedReport>> ReportStore::List(std::string* error) {
  ReaderLease reader(*this, error);
  if (!reader) return std::nullopt;
  Statement query(reader->db(), "SELECT name, author, state FROM reports ORDER BY id");
  std::vector<ListedReport> reports;
  int rc;
  while ((rc = query.Step()) == SQLITE_ROW) {
    ListedReport& row = reports.emplace_back();
    row.name = query.Text(0);
    row.author_entry = query.Blob(1);
    row.state = static_cast<uint32_t>(sqlite3_column_int64(query.get(), 2));
  }
  if (rc != SQLITE_DONE) {
    reader->Fail(error);
    return std::nullopt;
  }
  return reports;
}

bool ReportStore::ReadPackage(const std::string& name, sqlite3_stmt* row, int column, std::vector<uint8_t>* package,
                              std::string* error) const {
  if (sqlite3_column_type(row, column + 1) != SQLITE_NULL) {
    const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(row, column + 1));
    package->assign(data, data + sqlite3_column_bytes(row, column + 1));
    return true;
  }
  const int64_t bytes = sqlite3_column_int64(row, column);
  std::string detail;
  if (ReadPackageFile(packages_, name, static_cast<uint64_t>(bytes), package, &detail)) return true;
  if (error) *error = detail;
  return false;
}

Lookup ReportStore::LoadPackage(const std::string& name, std::vector<uint8_t>* package, std::string* error) {
  ReaderLease reader(*this, error);
  if (!reader) return Lookup::kFailed;
  Statement query(reader->db(), "SELECT package_bytes, package FROM reports WHERE name = ?1");
  query.Bind(1, name);
  switch (query.Step()) {
    case SQLITE_ROW:
      if (!ReadPackage(name, query.get(), 0, package, error)) return Lookup::kFailed;
      return Lookup::kFound;
    case SQLITE_DONE:
      return Lookup::kUnknown;
    default:
      reader->Fail(error);
      return Lookup::kFailed;
  }
}

std::optional<std::string> ReportStore::NameHoldingId(sqlite3* db, const std::string& report_id,
                                                      std::string* error) {
  Statement query(db, "SELECT name FROM reports WHERE reportid = ?1");
  query.Bind(1, report_id);
  switch (query.Step()) {
    case SQLITE_ROW:
      return query.Text(0);
    case SQLITE_DONE:
      return std::string();
    default:
      if (error) *error = sqlite3_errmsg(db);
      return std::nullopt;
  }
}

Lookup ReportStore::SetState(const std::string& name, uint32_t state, const StateChangeOrigin& origin,
                             std::string* error) {
  std::lock_guard lock(write_lock_);
  Connection& writer = *writer_;
  if (!writer.Exec("BEGIN IMMEDIATE", error)) return Lookup::kFailed;
  auto fail = [&] {
    writer.Fail(error);
    writer.Exec("ROLLBACK", nullptr);
    return Lookup::kFailed;
  };
  int64_t id = 0;
  uint32_t previous = 0;
  {
    Statement query(writer.db(), "SELECT id, state FROM reports WHERE name = ?1");
    query.Bind(1, name);
    switch (query.Step()) {
      case SQLITE_ROW:
        id = sqlite3_column_int64(query.get(), 0);
        previous = static_cast<uint32_t>(sqlite3_column_int64(query.get(), 1));
        break;
      case SQLITE_DONE:
        writer.Exec("ROLLBACK", nullptr);
        return Lookup::kUnknown;
      default:
        return fail();
    }
  }
  Statement update(writer.db(), "UPDATE reports SET state = ?1 WHERE id = ?2");
  update.Bind(1, int64_t{state});
  update.Bind(2, id);
  if (update.Step() != SQLITE_DONE) return fail();
  Statement record(writer.db(),
                   "INSERT INTO state_changes(report_id, changed_ms, previous, state, source, peer) "
                   "VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
  record.Bind(1, id);
  record.Bind(2, origin.unix_ms);
  record.Bind(3, int64_t{previous});
  record.Bind(4, int64_t{state});
  const std::string source = origin.source;  // bound without a copy: must outlive the step
  record.Bind(5, source);
  record.Bind(6, origin.peer);
  if (record.Step() != SQLITE_DONE) return fail();
  if (!writer.Exec("COMMIT", error)) {
    writer.Exec("ROLLBACK", nullptr);
    return Lookup::kFailed;
  }
  ++revision_;
  return Lookup::kFound;
}

std::optional<ReportPage> ReportStore::ListPage(const PageQuery& query, std::string* error) {
  ReaderLease reader(*this, error);
  if (!reader) return std::nullopt;
  // Counts and page from one snapshot of the database.
  if (!reader->Exec("BEGIN", error)) return std::nullopt;
  struct EndRead {
    Connection* connection;
    ~EndRead() { connection->Exec("COMMIT", nullptr); }
  } end_read{reader.operator->()};

  const std::string pattern = ContainsPattern(query.search);
  constexpr char kSearch[] = "(?1 = '%%' OR title LIKE ?1 ESCAPE '\\' OR reporter LIKE ?1 ESCAPE '\\')";
  ReportPage page;
  {
    const std::string sql = std::string("SELECT sum(report_tab(flags, state, 0)), sum(report_tab(flags, state, 1)), "
                                        "sum(report_tab(flags, state, 2)), sum(report_tab(flags, state, 3)) "
                                        "FROM reports WHERE ") + kSearch;
    Statement counts(reader->db(), sql.c_str());
    counts.Bind(1, pattern);
    if (counts.Step() != SQLITE_ROW) {
      reader->Fail(error);
      return std::nullopt;
    }
    for (int tab = 0; tab < 4; ++tab) page.tab_counts[tab] = sqlite3_column_int64(counts.get(), tab);
  }
  const std::string sql = std::string("SELECT ") + kRowColumns + " FROM reports WHERE report_tab(flags, state, ?2) AND " +
                          kSearch + " ORDER BY id DESC LIMIT ?3 OFFSET ?4";
  Statement rows(reader->db(), sql.c_str());
  rows.Bind(1, pattern);
  rows.Bind(2, int64_t{query.filter});
  rows.Bind(3, query.limit);
  rows.Bind(4, query.offset);
  int rc;
  while ((rc = rows.Step()) == SQLITE_ROW) page.rows.push_back(ReadRow(rows, 0));
  if (rc != SQLITE_DONE) {
    reader->Fail(error);
    return std::nullopt;
  }
  return page;
}

Lookup ReportStore::LoadDetails(const std::string& name, ReportDetails* details, std::string* error) {
  ReaderLease reader(*this, error);
  if (!reader) return Lookup::kFailed;
  if (!reader->Exec("BEGIN", error)) return Lookup::kFailed;
  struct EndRead {
    Connection* connection;
    ~EndRead() { connection->Exec("COMMIT", nullptr); }
  } end_read{reader.operator->()};

  int64_t id = 0;
  {
    const std::string sql = std::string("SELECT id, peer, package_bytes, package, ") + kRowColumns +
                            " FROM reports WHERE name = ?1";
    Statement query(reader->db(), sql.c_str());
    query.Bind(1, name);
    switch (query.Step()) {
      case SQLITE_ROW:
        break;
      case SQLITE_DONE:
        return Lookup::kUnknown;
      default:
        reader->Fail(error);
        return Lookup::kFailed;
    }
    id = sqlite3_column_int64(query.get(), 0);
    details->peer = query.Text(1);
    details->row = ReadRow(query, 4);
    if (!ReadPackage(details->row.name, query.get(), 2, &details->package, error)) return Lookup::kFailed;
  }
  Statement history(reader->db(),
                    "SELECT changed_ms, previous, state, source, peer FROM state_changes WHERE report_id = ?1 "
                    "ORDER BY id");
  history.Bind(1, id);
  details->history.clear();
  int rc;
  while ((rc = history.Step()) == SQLITE_ROW) {
    StateChange& change = details->history.emplace_back();
    change.changed_ms = sqlite3_column_int64(history.get(), 0);
    change.previous = static_cast<uint32_t>(sqlite3_column_int64(history.get(), 1));
    change.state = static_cast<uint32_t>(sqlite3_column_int64(history.get(), 2));
    change.source = history.Text(3);
    change.peer = history.Text(4);
  }
  if (rc != SQLITE_DONE) {
    reader->Fail(error);
    return Lookup::kFailed;
  }
  return Lookup::kFound;
}

}  // namespace vnscope::server
