#include "server/store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <system_error>
#include <unordered_map>

#include "report/protocol/report_states.h"
#include "server/log.h"
#include "server/package_files.h"
#include "server/protocol.h"
#include "server/report_name.h"

namespace vnscope::server {
namespace {

constexpr char kLockFile[] = "server.lock";
// Schema versions: 2 added the state history; 3 moved the packages out of
// their own table, large ones into files.
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
    author      BLOB    NOT NULL,                   -- the package's author entry, verbatim
    package_bytes INTEGER NOT NULL DEFAULT 0,       -- size of the ZIP archive as submitted
    package     BLOB                                -- that archive when small; NULL: packages/NAME.zip
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

// The tables of versions 1 and 2 held every package in a table of its own.
constexpr char kUpgradeReports[] = R"sql(
  ALTER TABLE reports ADD COLUMN package_bytes INTEGER NOT NULL DEFAULT 0;
  ALTER TABLE reports ADD COLUMN package BLOB;
)sql";

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
  void Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
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
  ~Connection() {
    kept_.clear();  // statements first: the database closes only once they are gone
    sqlite3_close_v2(db_);
  }
  sqlite3* db() const { return db_; }

  bool Exec(const char* sql, std::string* error) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    return Fail(error);
  }
  bool Fail(std::string* error) const {
    if (error) *error = sqlite3_errmsg(db_);
    return false;
  }

  // `sql` prepared once and kept, reset for a new use: the writer runs the
  // same few statements for every commit. Keyed by address, so `sql` is one
  // of the constants below.
  Statement& Kept(const char* sql) {
    std::unique_ptr<Statement>& kept = kept_[sql];
    if (!kept || !kept->ok()) kept = std::make_unique<Statement>(db_, sql);
    kept->Reset();
    return *kept;
  }
  // Runs a kept statement that returns no rows.
  bool Run(const char* sql, std::string* error) { return Kept(sql).Step() == SQLITE_DONE || Fail(error); }

 private:
  sqlite3* db_;
  std::unordered_map<const char*, std::unique_ptr<Statement>> kept_;
};

namespace {

constexpr char kBegin[] = "BEGIN IMMEDIATE";
constexpr char kCommit[] = "COMMIT";
constexpr char kInsertReport[] =
    "INSERT INTO reports(id, name, received_ms, peer, title, reporter, flags, state, author, package_bytes, package) "
    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)";

}  // namespace

ReportStore::ReportStore(const std::filesystem::path& directory)
    : database_(directory / kDatabaseFile),
      packages_(directory / kPackagesFolder),
      revision_(static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count())) {}

ReportStore::~ReportStore() {
  if (committer_.joinable()) {
    {
      std::lock_guard lock(commit_lock_);
      closing_ = true;
    }
    work_arrived_.notify_one();
    committer_.join();
  }
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
  std::filesystem::create_directories(directory / kPackagesFolder, ec);
  if (ec) {
    *error = "cannot create " + (directory / kPackagesFolder).string() + ": " + ec.message();
    return nullptr;
  }
  std::unique_ptr<ReportStore> store(new ReportStore(directory));

  // Two servers on one directory would each be sure they hand out the next
  // names; the second one stops here instead.
  const std::string lock_path = (directory / kLockFile).string();
  store->lock_fd_ = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (store->lock_fd_ < 0 || flock(store->lock_fd_, LOCK_EX | LOCK_NB) != 0) {
    *error = "cannot lock " + lock_path + " (is another server using this directory?)";
    return nullptr;
  }
  if (!store->Prepare(error)) return nullptr;
  try {
    store->committer_ = std::thread(&ReportStore::CommitRows, store.get());
  } catch (const std::system_error& failure) {
    *error = std::string("cannot start the commit thread: ") + failure.what();
    return nullptr;
  }
  return store;
}

bool ReportStore::Prepare(std::string* error) {
  // Whatever goes wrong with the database from here on, the message names it.
  auto fail = [&](const std::string& what) {
    *error = database_.string() + ": " + what;
    return false;
  };
  std::string detail;
  writer_ = OpenConnection(&detail);
  if (!writer_) return fail(detail);
  Connection& writer = *writer_;
  {
    // A damaged database is not served: answers read from it could be wrong,
    // and writes into it could spread the damage.
    Statement check(writer.db(), "PRAGMA integrity_check(5)");
    std::string problems;
    int rc;
    while ((rc = check.Step()) == SQLITE_ROW) {
      const std::string line = check.Text(0);
      if (line != "ok") problems.append(problems.empty() ? "" : "; ").append(line);
    }
    if (rc != SQLITE_DONE) return fail(std::string("damaged: ") + sqlite3_errmsg(writer.db()));
    if (!problems.empty()) return fail("damaged: " + problems);
  }
  {
    Statement wal(writer.db(), "PRAGMA journal_mode=WAL");
    if (wal.Step() != SQLITE_ROW || wal.Text(0) != "wal") return fail("cannot switch to write-ahead logging");
  }
  // After a large state history the log would otherwise keep its largest size
  // for good; checkpoints cut it back to this.
  if (!writer.Exec("PRAGMA journal_size_limit=67108864", &detail)) return fail(detail);
  if (!writer.Exec("BEGIN IMMEDIATE", &detail)) return fail(detail);
  int version = 0;
  {
    Statement query(writer.db(), "PRAGMA user_version");
    if (query.Step() == SQLITE_ROW) version = sqlite3_column_int(query.get(), 0);
  }
  if (version > kSchemaVersion) {
    writer.Exec("ROLLBACK", nullptr);
    return fail("written by a newer server (schema " + std::to_string(version) + ")");
  }
  const std::string set_version = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
  if (!writer.Exec(kSchema, &detail) || (version > 0 && version < kSchemaVersion && !Upgrade(&detail)) ||
      !writer.Exec(set_version.c_str(), &detail) || !writer.Exec("COMMIT", &detail)) {
    writer.Exec("ROLLBACK", nullptr);
    return fail(detail);
  }
  if (version > 0 && version < kSchemaVersion) {
    // The packages' pages are free now; give them back to the file system.
    if (!writer.Exec("VACUUM", &detail)) LogLine("after bringing the store up to date: " + detail);
    LogLine("brought " + database_.string() + " from schema " + std::to_string(version) + " to " +
            std::to_string(kSchemaVersion));
  }
  if (!CheckPackageFiles(error)) return false;
  Statement last(writer.db(),
                 "SELECT (SELECT seq FROM sqlite_sequence WHERE name = 'reports'), max(received_ms) FROM reports");
  if (last.Step() != SQLITE_ROW) return fail(sqlite3_errmsg(writer.db()));
  last_id_ = sqlite3_column_int64(last.get(), 0);
  last_ms_ = sqlite3_column_int64(last.get(), 1);
  return true;
}

bool ReportStore::Upgrade(std::string* error) {
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

bool ReportStore::CheckPackageFiles(std::string* error) {
  std::unordered_map<std::string, int64_t> expected;  // name -> bytes of every package kept as a file
  {
    Statement query(writer_->db(), "SELECT name, package_bytes FROM reports WHERE package IS NULL");
    int rc;
    while ((rc = query.Step()) == SQLITE_ROW) expected.emplace(query.Text(0), sqlite3_column_int64(query.get(), 1));
    if (rc != SQLITE_DONE) return writer_->Fail(error);
  }
  // Files whose rows never committed: the submission was not acknowledged.
  std::error_code ec;
  int removed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(packages_, ec)) {
    const std::filesystem::path& path = entry.path();
    const std::string extension = path.extension().string();
    const bool unfinished = extension == kUnfinishedSuffix;
    if (!unfinished && (extension != kPackageSuffix || expected.count(path.stem().string()))) continue;
    if (std::filesystem::remove(path, ec)) ++removed;
  }
  if (ec) {
    *error = "cannot clean up " + packages_.string() + ": " + ec.message();
    return false;
  }
  if (removed > 0) LogLine("removed " + std::to_string(removed) + " package files of submissions that never completed");
  std::vector<std::string> damaged;
  for (const auto& [name, bytes] : expected) {
    const std::filesystem::path path = PackagePath(packages_, name);
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) damaged.push_back(path.string() + " is missing");
    else if (size != static_cast<uintmax_t>(bytes))
      damaged.push_back(path.string() + " has " + std::to_string(size) + " bytes, not " + std::to_string(bytes));
  }
  if (damaged.empty()) return true;
  std::sort(damaged.begin(), damaged.end());
  *error = "damaged store: " + std::to_string(damaged.size()) + " package files are missing or cut short: " +
           damaged.front() + (damaged.size() > 1 ? ", ..." : "");
  return false;
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

struct ReportStore::PendingRow {
  int64_t id = 0;
  const std::string* name = nullptr;
  int64_t unix_ms = 0;
  const std::string* peer = nullptr;
  std::string title;
  std::string reporter;
  uint32_t flags = 0;
  std::span<const uint8_t> author;
  std::span<const uint8_t> package;
  bool in_file = false;  // the package is a file; the row holds none
  // Set once the commit thread is done with the row. A word of its own to
  // wait on rather than a condition variable under commit_lock_: the threads
  // of a batch then wake without queueing for that lock one after another.
  std::atomic<bool> done = false;
  // Filled in by the commit thread before `done` says so.
  bool stored = false;
  bool never_stored = false;  // refused for sure, not merely unknown
  std::string error;
};

std::optional<std::string> ReportStore::Add(const PackageSummary& summary, std::span<const uint8_t> package,
                                            const std::string& peer, int64_t unix_ms, std::string* error) {
  // Shared with the commit thread, which may still be waking this thread
  // when it has seen its row done and moved on.
  auto shared_row = std::make_shared<PendingRow>();
  PendingRow& row = *shared_row;
  {
    // Names are handed out here rather than by the database, so that the
    // package file can bear its name before the row is written. Only this
    // server writes the directory, so the next number is known; one lost to
    // a failure is never acknowledged.
    std::lock_guard lock(names_lock_);
    row.id = ++last_id_;
    // The name's time never goes back, so names sort in arrival order even
    // when the system clock is stepped backwards.
    last_ms_ = std::max(last_ms_, unix_ms);
    row.unix_ms = last_ms_;
  }
  const std::string name = FormatReportName(row.unix_ms, row.id);
  row.name = &name;
  row.peer = &peer;
  row.title = Utf16ToUtf8(summary.author.title);
  row.reporter = Utf16ToUtf8(summary.author.reporter);
  row.flags = summary.author.flags;
  row.author = summary.author_entry;
  row.package = package;
  row.in_file = package.size() > kInlinePackageLimit;
  // Written in place: until its row commits nothing reads the file, and the
  // start-up pass removes it, whole or not, if the row never does. Its name
  // is synced with the others' in the shared commit.
  if (row.in_file && !WritePackageFile(packages_, name, package, error)) return std::nullopt;
  Commit(shared_row);
  if (row.stored) return name;
  if (error) *error = row.error;
  // A file whose row may still have committed stays for the next start-up
  // to judge.
  if (row.in_file && row.never_stored) unlink(PackagePath(packages_, name).c_str());
  return std::nullopt;
}

void ReportStore::Commit(const std::shared_ptr<PendingRow>& row) {
  {
    std::lock_guard lock(commit_lock_);
    waiting_.push_back(row);
  }
  // Costs no system call while the commit thread is busy rather than waiting.
  work_arrived_.notify_one();
  row->done.wait(false, std::memory_order_acquire);
}

void ReportStore::CommitRows() {
  // One thread that does nothing but commit: under load the next batch has
  // gathered while the last one synced, and goes at once. Handing the next
  // commit to a connection thread instead costs a wake-up per commit, and on
  // a busy machine that thread queues behind the others before it runs.
  std::vector<std::shared_ptr<PendingRow>> batch;
  std::unique_lock lock(commit_lock_);
  for (;;) {
    work_arrived_.wait(lock, [&] { return closing_ || !waiting_.empty(); });
    if (waiting_.empty()) return;  // closing, and every row handed in was committed
    batch.swap(waiting_);
    lock.unlock();
    CommitBatch(batch);
    // The batch's references keep each row alive until its wake-up is sent.
    for (const auto& row : batch) {
      row->done.store(true, std::memory_order_release);
      row->done.notify_one();
    }
    batch.clear();
    lock.lock();
  }
}

void ReportStore::CommitBatch(const std::vector<std::shared_ptr<PendingRow>>& batch) {
  auto fail_all = [&](const std::string& error, bool never_stored) {
    for (const auto& row : batch) {
      row->stored = false;
      row->error = error;
      row->never_stored = never_stored;
    }
  };
  std::string error;
  // The names of the batch's files become durable together, before any row
  // points at them.
  const bool files = std::any_of(batch.begin(), batch.end(), [](const auto& row) { return row->in_file; });
  if (files && !SyncFolder(packages_, &error)) return fail_all(error, true);
  std::lock_guard lock(write_lock_);
  Connection& writer = *writer_;
  if (!writer.Run(kBegin, &error)) return fail_all(error, true);
  Statement& insert = writer.Kept(kInsertReport);
  int stored = 0;
  for (const auto& row : batch) {
    insert.Reset();
    insert.Bind(1, row->id);
    insert.Bind(2, *row->name);
    insert.Bind(3, row->unix_ms);
    insert.Bind(4, *row->peer);
    insert.Bind(5, row->title);
    insert.Bind(6, row->reporter);
    insert.Bind(7, int64_t{row->flags});
    insert.Bind(8, int64_t{static_cast<uint32_t>(ReportState::New)});
    insert.Bind(9, row->author);
    insert.Bind(10, static_cast<int64_t>(row->package.size()));
    if (!row->in_file) insert.Bind(11, row->package);
    // A failing insert undoes itself and leaves the others' rows be, unless
    // the failure ended the whole transaction.
    row->stored = insert.Step() == SQLITE_DONE;
    if (row->stored) {
      ++stored;
      continue;
    }
    row->error = sqlite3_errmsg(writer.db());
    row->never_stored = true;
    if (sqlite3_get_autocommit(writer.db())) {
      insert.Reset();
      return fail_all(row->error, true);
    }
  }
  insert.Reset();  // lets go of the rows' bytes, bound without a copy
  if (!writer.Run(kCommit, &error)) {
    writer.Exec("ROLLBACK", nullptr);
    return fail_all(error, false);
  }
  revision_ += stored;
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
