// The report store: one SQLite database in the data directory holding every
// report's name, summary, state and package. Submissions are committed with
// a full sync before they are acknowledged, so an acknowledged report survives
// a crash or a power cut at any moment.
//
// Thread-safe: writes go through one connection under a lock (SQLite admits
// one writer at a time anyway); reads use pooled connections of their own and,
// thanks to the write-ahead log, never wait for a write.
#pragma once
#include <array>
#include <atomic>
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

// Who changed a report's state, kept in its history.
struct StateChangeOrigin {
  const char* source;  // kSourceBrowser or kSourceDashboard
  std::string peer;    // address the request came from
  int64_t unix_ms = 0;
};
inline constexpr char kSourceBrowser[] = "browser";
inline constexpr char kSourceDashboard[] = "dashboard";

// One row of the dashboard's list.
struct ReportRow {
  std::string name;
  int64_t received_ms = 0;
  std::string title;     // UTF-8
  std::string reporter;  // UTF-8
  uint32_t flags = 0;
  uint32_t state = 0;
};

// One page of a tab, newest first, and how many reports each tab holds under
// the same search.
struct PageQuery {
  int filter = 0;      // tab index (report_states.h)
  std::string search;  // matched anywhere in title or reporter; empty: all
  int64_t offset = 0;
  int64_t limit = 50;
};
struct ReportPage {
  std::vector<ReportRow> rows;
  std::array<int64_t, 4> tab_counts{};  // by tab index
};

struct StateChange {
  int64_t changed_ms = 0;
  uint32_t previous = 0;
  uint32_t state = 0;
  std::string source;  // kSourceBrowser or kSourceDashboard
  std::string peer;
};

// Everything the dashboard shows of one report.
struct ReportDetails {
  ReportRow row;
  std::string peer;
  std::vector<uint8_t> package;
  std::vector<StateChange> history;  // oldest first
};

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

  // Sets a report's state and records the change in its history, durably.
  // The caller checks that the state is one the clients know.
  Lookup SetState(const std::string& name, uint32_t state, const StateChangeOrigin& origin, std::string* error);

  // One page of the dashboard's list. `query.filter` outside 0 to 3 lists
  // every report.
  std::optional<ReportPage> ListPage(const PageQuery& query, std::string* error);

  // A report with its package and state history.
  Lookup LoadDetails(const std::string& name, ReportDetails* details, std::string* error);

  // Changes whenever a report is added or re-stated, so that a dashboard can
  // poll it cheaply. Starts from the clock, so that a restarted server does not
  // repeat the values a page saw before.
  uint64_t revision() const { return revision_.load(); }

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
  std::atomic<uint64_t> revision_;
};

}  // namespace vnscope::server
