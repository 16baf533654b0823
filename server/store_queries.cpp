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

constexpr char kRowColumns[] =
    "name, received_ms, title, reporter, flags, state, ifnull(assignee, ''), ifnull(label, '')";

ReportRow ReadRow(const Statement& query, int first) {
  ReportRow row;
  row.name = query.Text(first);
  row.received_ms = sqlite3_column_int64(query.get(), first + 1);
  row.title = query.Text(first + 2);
  row.reporter = query.Text(first + 3);
  row.flags = static_cast<uint32_t>(sqlite3_column_int64(query.get(), first + 4));
  row.state = static_cast<uint32_t>(sqlite3_column_int64(query.get(), first + 5));
  row.assignee = query.Text(first + 6);
  row.label = query.Text(first + 7);
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
  return ChangeReport(
      name,
      [&](Connection& writer, int64_t id, uint32_t previous, std::string* failure) {
        Statement update(writer.db(), "UPDATE reports SET state = ?1 WHERE id = ?2");
        update.Bind(1, int64_t{state});
        update.Bind(2, id);
        if (update.Step() != SQLITE_DONE) return writer.Fail(failure);
        Statement record(writer.db(),
                         "INSERT INTO state_changes(report_id, changed_ms, previous, state, source, peer, by) "
                         "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        record.Bind(1, id);
        record.Bind(2, origin.unix_ms);
        record.Bind(3, int64_t{previous});
        record.Bind(4, int64_t{state});
        const std::string source = origin.source;  // bound without a copy: must outlive the step
        record.Bind(5, source);
        record.Bind(6, origin.peer);
        record.Bind(7, origin.by);
        if (record.Step() != SQLITE_DONE) return writer.Fail(failure);
        return RecordEvent(id, kEventState, origin.unix_ms, origin.by, std::to_string(previous), failure);
      },
      error);
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
  // The search, the label and the assignee; the counts of every tab follow
  // them as the page does.
  constexpr char kSearch[] =
      "(?1 = '%%' OR title LIKE ?1 ESCAPE '\\' OR reporter LIKE ?1 ESCAPE '\\') AND (?5 = '' OR label = ?5) AND "
      "CASE WHEN ?7 THEN assignee IS NULL WHEN ?6 != '' THEN assignee = ?6 ELSE 1 END";
  auto bind_filters = [&](Statement& statement) {
    statement.Bind(1, pattern);
    statement.Bind(5, query.label);
    statement.Bind(6, query.assignee);
    statement.Bind(7, int64_t{query.unassigned});
  };
  ReportPage page;
  {
    const std::string sql = std::string("SELECT sum(report_tab(flags, state, 0)), sum(report_tab(flags, state, 1)), "
                                        "sum(report_tab(flags, state, 2)), sum(report_tab(flags, state, 3)) "
                                        "FROM reports WHERE ") + kSearch;
    Statement counts(reader->db(), sql.c_str());
    bind_filters(counts);
    if (counts.Step() != SQLITE_ROW) {
      reader->Fail(error);
      return std::nullopt;
    }
    for (int tab = 0; tab < 4; ++tab) page.tab_counts[tab] = sqlite3_column_int64(counts.get(), tab);
  }
  const std::string sql = std::string("SELECT ") + kRowColumns + " FROM reports WHERE report_tab(flags, state, ?2) AND " +
                          kSearch + " ORDER BY id DESC LIMIT ?3 OFFSET ?4";
  Statement rows(reader->db(), sql.c_str());
  bind_filters(rows);
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
                    "SELECT changed_ms, previous, state, source, peer, by FROM state_changes WHERE report_id = ?1 "
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
    change.by = history.Text(5);
  }
  if (rc != SQLITE_DONE) {
    reader->Fail(error);
    return Lookup::kFailed;
  }
  Statement notes(reader->db(),
                  "SELECT at_ms, kind, by, source, peer, previous, text FROM notes WHERE report_id = ?1 ORDER BY id");
  notes.Bind(1, id);
  details->notes.clear();
  while ((rc = notes.Step()) == SQLITE_ROW) {
    ReportNote& note = details->notes.emplace_back();
    note.at_ms = sqlite3_column_int64(notes.get(), 0);
    note.kind = notes.Text(1);
    note.by = notes.Text(2);
    note.source = notes.Text(3);
    note.peer = notes.Text(4);
    note.previous = notes.Text(5);
    note.text = notes.Text(6);
  }
  if (rc != SQLITE_DONE) {
    reader->Fail(error);
    return Lookup::kFailed;
  }
  return Lookup::kFound;
}

}  // namespace vnscope::server
