// Opening and closing the store: the directory lock, the database's checks,
// its connections, and the start and end of the commit thread.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <system_error>
#include <unordered_map>

#include "report/protocol/report_states.h"
#include "server/log.h"
#include "server/package_files.h"
#include "server/store.h"
#include "server/store_connection.h"

namespace vnscope::server {
namespace {

constexpr char kLockFile[] = "server.lock";
// Readers and the writer wait this long for a lock held by a checkpoint or by
// another process (the sqlite3 shell taking a backup, say) before failing.
constexpr int kBusyTimeoutMs = 10'000;

// report_tab(flags, state, tab): whether the tab lists the report, by the
// same rule as the report browser, so that SQL never restates it.
void ReportTabFunction(sqlite3_context* context, int, sqlite3_value** values) {
  const auto flags = static_cast<uint32_t>(sqlite3_value_int64(values[0]));
  const auto state = static_cast<uint32_t>(sqlite3_value_int64(values[1]));
  sqlite3_result_int(context, ReportPassesFilter(flags, state, sqlite3_value_int(values[2])) ? 1 : 0);
}

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
  if (!UpdateSchema(&detail)) return fail(detail);
  if (!CheckPackageFiles(error)) return false;
  Statement last(writer.db(),
                 "SELECT (SELECT seq FROM sqlite_sequence WHERE name = 'reports'), max(received_ms) FROM reports");
  if (last.Step() != SQLITE_ROW) return fail(sqlite3_errmsg(writer.db()));
  last_id_ = sqlite3_column_int64(last.get(), 0);
  last_ms_ = sqlite3_column_int64(last.get(), 1);
  return true;
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

}  // namespace vnscope::server
