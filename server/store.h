// The report store: one SQLite database in the data directory holding every
// report's name, summary, state and package. Submissions are committed with
// a full sync before they are acknowledged, so an acknowledged report survives
// a crash or a power cut at any moment.
//
// Thread-safe: writes go through one connection under a lock (SQLite admits
// one writer at a time anyway); reads use pooled connections of their own and,
// thanks to the write-ahead log, never wait for a write.
#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "server/package.h"

struct sqlite3;

namespace vnscope::server {

// One row of the list reply.
struct ListedReport {
  std::string name;
  std::vector<uint8_t> author_entry;
  uint32_t state = 0;
};

enum class Lookup { kFound, kUnknown, kFailed };

class ReportStore {
 public:
  // Opens the database in `directory`, creating both when missing. Returns
  // null with `error` set when the database cannot be opened or was written by
  // a newer server.
  static std::unique_ptr<ReportStore> Open(const std::filesystem::path& directory, std::string* error);
  ~ReportStore();
  ReportStore(const ReportStore&) = delete;
  ReportStore& operator=(const ReportStore&) = delete;

  // Stores a checked package as a new report in state New and returns the
  // name it was given, once the commit is on disk. `peer` is kept for the
  // record. Names follow arrival order even when the clock steps back.
  std::optional<std::string> Add(const PackageSummary& summary, std::span<const uint8_t> package,
                                 const std::string& peer, int64_t unix_ms, std::string* error);

  // Every report, oldest first.
  std::optional<std::vector<ListedReport>> List(std::string* error);

  // The package of a report, as submitted.
  Lookup LoadPackage(const std::string& name, std::vector<uint8_t>* package, std::string* error);

  // Sets a report's state, durably. The caller checks that the state is one
  // the clients know.
  Lookup SetState(const std::string& name, uint32_t state, std::string* error);

 private:
  class Connection;
  class ReaderLease;
  explicit ReportStore(std::filesystem::path database);
  std::unique_ptr<Connection> OpenConnection(std::string* error);

  std::filesystem::path database_;
  int lock_fd_ = -1;
  std::mutex write_lock_;
  std::unique_ptr<Connection> writer_;
  std::mutex readers_lock_;
  std::vector<std::unique_ptr<Connection>> idle_readers_;
};

}  // namespace vnscope::server
