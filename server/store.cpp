#include "server/store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "report/protocol/report_states.h"
#include "server/protocol.h"
#include "server/report_name.h"

namespace vnscope::server {
namespace {

constexpr char kDatabaseFile[] = "reports.sqlite3";
constexpr char kLockFile[] = "server.lock";
// Bumped whenever the tables change; a server refuses a database from a newer one.
// 2 added the state history; a version 1 database gains it on opening.
constexpr int kSchemaVersion = 2;
// Readers and the writer wait this long for a lock held by a checkpoint or by
// another process (the sqlite3 shell taking a backup, say) before failing.
constexpr int kBusyTimeoutMs = 10'000;

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
    author      BLOB    NOT NULL                    -- the package's author entry, verbatim
  );
  CREATE TABLE IF NOT EXISTS packages(
    report_id INTEGER PRIMARY KEY REFERENCES reports(id),
    package   BLOB    NOT NULL                      -- the ZIP archive as submitted
  );
  CREATE TABLE IF NOT EXISTS state_changes(
    id         INTEGER PRIMARY KEY,
    report_id  INTEGER NOT NULL REFERENCES reports(id),
    changed_ms INTEGER NOT NULL,                    -- Unix time, UTC
    previous   INTEGER NOT NULL,
    state      INTEGER NOT NULL,
    source     TEXT    NOT NULL,                    -- 'browser' or 'dashboard'
    peer       TEXT    NOT NULL
  );
  CREATE INDEX IF NOT EXISTS state_changes_by_report ON state_changes(report_id);
)sql";

// report_tab(flags, state, tab): whether the tab lists the report, by the
// same rule as the report browser, so that SQL never restates it.
void ReportTabFunction(sqlite3_context* context, int, sqlite3_value** values) {
  const auto flags = static_cast<uint32_t>(sqlite3_value_int64(values[0]));
  const auto state = static_cast<uint32_t>(sqlite3_value_int64(values[1]));
  sqlite3_result_int(context, ReportPassesFilter(flags, state, sqlite3_value_int(values[2])) ? 1 : 0);
}

// A LIKE pattern that matches `text` anywhere, its wildcards taken literally.
std::string ContainsPattern(const std::string& text) {
  std::string pattern = "%";
  for (char c : text) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return pattern + "%";
}

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr); }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return statement_ != nullptr; }
  sqlite3_stmt* get() const { return statement_; }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return statement_ ? sqlite3_step(statement_) : SQLITE_MISUSE; }
  void Bind(int index, int64_t value) { sqlite3_bind_int64(statement_, index, value); }
  void Bind(int index, const std::string& text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  }
  void Bind(int index, std::span<const uint8_t> blob) {
    // A zero-length blob must still bind as a blob, not as NULL.
    static const uint8_t kEmpty = 0;
    sqlite3_bind_blob64(statement_, index, blob.empty() ? &kEmpty : blob.data(), blob.size(), SQLITE_STATIC);
  }
  std::vector<uint8_t> Blob(int column) const {
    const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(statement_, column));
    const int size = sqlite3_column_bytes(statement_, column);
    return data ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>();
  }
  std::string Text(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    return data ? std::string(data, static_cast<size_t>(sqlite3_column_bytes(statement_, column))) : std::string();
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace

class ReportStore::Connection {
 public:
  explicit Connection(sqlite3* db) : db_(db) {}
  ~Connection() { sqlite3_close_v2(db_); }
  sqlite3* db() const { return db_; }

  bool Exec(const char* sql, std::string* error) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    return Fail(error);
  }
  bool Fail(std::string* error) const {
    if (error) *error = sqlite3_errmsg(db_);
    return false;
  }

 private:
  sqlite3* db_;
};

ReportStore::ReportStore(std::filesystem::path database)
    : database_(std::move(database)),
      revision_(static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count())) {}

ReportStore::~ReportStore() {
  if (lock_fd_ >= 0) close(lock_fd_);
}

std::unique_ptr<ReportStore::Connection> ReportStore::OpenConnection(std::string* error) {
  sqlite3* db = nullptr;
  // Each connection is used by one thread at a time, so SQLite's own mutexes
  // are not needed.
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  const int rc = sqlite3_open_v2(database_.c_str(), &db, flags, nullptr);
  auto connection = std::make_unique<Connection>(db);
  if (rc != SQLITE_OK) {
    if (error) *error = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    return nullptr;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // FULL makes every commit sync the write-ahead log: the acknowledgement of
  // a submission is sent only after that.
  if (!connection->Exec("PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;", error)) return nullptr;
  if (sqlite3_create_function(db, "report_tab", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                              ReportTabFunction, nullptr, nullptr) != SQLITE_OK) {
    connection->Fail(error);
    return nullptr;
  }
  return connection;
}

std::unique_ptr<ReportStore> ReportStore::Open(const std::filesystem::path& directory, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  if (ec) {
    *error = "cannot create " + directory.string() + ": " + ec.message();
    return nullptr;
  }
  std::unique_ptr<ReportStore> store(new ReportStore(directory / kDatabaseFile));

  // Two servers on one directory would each be sure they hand out the next
  // names; the second one stops here instead.
  const std::string lock_path = (directory / kLockFile).string();
  store->lock_fd_ = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (store->lock_fd_ < 0 || flock(store->lock_fd_, LOCK_EX | LOCK_NB) != 0) {
    *error = "cannot lock " + lock_path + " (is another server using this directory?)";
    return nullptr;
  }

  store->writer_ = store->OpenConnection(error);
  if (!store->writer_) return nullptr;
  Connection& writer = *store->writer_;
  {
    Statement wal(writer.db(), "PRAGMA journal_mode=WAL");
    if (wal.Step() != SQLITE_ROW || wal.Text(0) != "wal") {
      *error = "cannot switch the database to write-ahead logging";
      return nullptr;
    }
  }
  // After a large package the log would otherwise keep its largest size for
  // good; checkpoints cut it back to this.
  if (!writer.Exec("PRAGMA journal_size_limit=67108864", error)) return nullptr;
  if (!writer.Exec("BEGIN IMMEDIATE", error)) return nullptr;
  int version = 0;
  {
    Statement query(writer.db(), "PRAGMA user_version");
    if (query.Step() == SQLITE_ROW) version = sqlite3_column_int(query.get(), 0);
  }
  if (version > kSchemaVersion) {
    writer.Exec("ROLLBACK", nullptr);
    *error = "the database was written by a newer server (schema " + std::to_string(version) + ")";
    return nullptr;
  }
  const std::string set_version = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
  if (!writer.Exec(kSchema, error) || !writer.Exec(set_version.c_str(), error) || !writer.Exec("COMMIT", error)) {
    writer.Exec("ROLLBACK", nullptr);
    return nullptr;
  }
  return store;
}

// A pooled read connection, handed back when the lease ends. Declare it before
// the statements that use it, so that they are finalised first.
class ReportStore::ReaderLease {
 public:
  ReaderLease(ReportStore& store, std::string* error) : store_(store) {
    {
      std::lock_guard lock(store_.readers_lock_);
      if (!store_.idle_readers_.empty()) {
        connection_ = std::move(store_.idle_readers_.back());
        store_.idle_readers_.pop_back();
        return;
      }
    }
    connection_ = store_.OpenConnection(error);
  }
  ~ReaderLease() {
    if (!connection_) return;
    std::lock_guard lock(store_.readers_lock_);
    store_.idle_readers_.push_back(std::move(connection_));
  }
  explicit operator bool() const { return connection_ != nullptr; }
  Connection* operator->() const { return connection_.get(); }

 private:
  ReportStore& store_;
  std::unique_ptr<Connection> connection_;
};

std::optional<std::string> ReportStore::Add(const PackageSummary& summary, std::span<const uint8_t> package,
                                            const std::string& peer, int64_t unix_ms, std::string* error) {
  std::lock_guard lock(write_lock_);
  Connection& writer = *writer_;
  if (!writer.Exec("BEGIN IMMEDIATE", error)) return std::nullopt;
  auto fail = [&]() -> std::optional<std::string> {
    writer.Fail(error);
    writer.Exec("ROLLBACK", nullptr);
    return std::nullopt;
  };

  int64_t last_id = 0;
  {
    Statement query(writer.db(), "SELECT seq FROM sqlite_sequence WHERE name = 'reports'");
    const int rc = query.Step();
    if (rc == SQLITE_ROW) last_id = sqlite3_column_int64(query.get(), 0);
    else if (rc != SQLITE_DONE) return fail();
  }
  {
    // The name's time never goes back, so names sort in arrival order even
    // when the system clock is stepped backwards.
    Statement query(writer.db(), "SELECT received_ms FROM reports ORDER BY id DESC LIMIT 1");
    const int rc = query.Step();
    if (rc == SQLITE_ROW) unix_ms = std::max<int64_t>(unix_ms, sqlite3_column_int64(query.get(), 0));
    else if (rc != SQLITE_DONE) return fail();
  }
  const int64_t id = last_id + 1;
  std::string name = FormatReportName(unix_ms, id);

  Statement report(writer.db(),
                   "INSERT INTO reports(id, name, received_ms, peer, title, reporter, flags, state, author) "
                   "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
  const std::string title = Utf16ToUtf8(summary.author.title);
  const std::string reporter = Utf16ToUtf8(summary.author.reporter);
  report.Bind(1, id);
  report.Bind(2, name);
  report.Bind(3, unix_ms);
  report.Bind(4, peer);
  report.Bind(5, title);
  report.Bind(6, reporter);
  report.Bind(7, int64_t{summary.author.flags});
  report.Bind(8, int64_t{static_cast<uint32_t>(ReportState::New)});
  report.Bind(9, summary.author_entry);
  if (report.Step() != SQLITE_DONE) return fail();

  Statement stored(writer.db(), "INSERT INTO packages(report_id, package) VALUES(?1, ?2)");
  stored.Bind(1, id);
  stored.Bind(2, package);
  if (stored.Step() != SQLITE_DONE) return fail();

  if (!writer.Exec("COMMIT", error)) {
    writer.Exec("ROLLBACK", nullptr);
    return std::nullopt;
  }
  ++revision_;
  return name;
}

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

Lookup ReportStore::LoadPackage(const std::string& name, std::vector<uint8_t>* package, std::string* error) {
  ReaderLease reader(*this, error);
  if (!reader) return Lookup::kFailed;
  Statement query(reader->db(),
                  "SELECT packages.package FROM reports JOIN packages ON packages.report_id = reports.id "
                  "WHERE reports.name = ?1");
  query.Bind(1, name);
  switch (query.Step()) {
    case SQLITE_ROW:
      *package = query.Blob(0);
      return Lookup::kFound;
    case SQLITE_DONE:
      return Lookup::kUnknown;
    default:
      reader->Fail(error);
      return Lookup::kFailed;
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

namespace {

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
    const std::string sql = std::string("SELECT reports.id, peer, packages.package, ") + kRowColumns +
                            " FROM reports JOIN packages ON packages.report_id = reports.id WHERE name = ?1";
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
    details->package = query.Blob(2);
    details->row = ReadRow(query, 3);
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
