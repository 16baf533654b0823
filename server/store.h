// The report store: one SQLite database in the data directory holding every
// report's name, summary and state, small packages in their rows and large
// ones as files of their own (package_files.h), each written once. A
// submission is acknowledged only once its file and its row are synced, so an
// acknowledged report survives a crash or a power cut at any moment.
//
// Thread-safe: submissions arriving together share one commit (a thread of the
// store's own writes every row waiting at once, then the next lot as soon as
// that commit is synced); other writes go through
// the same connection under a lock; reads use pooled connections of their own
// and, thanks to the write-ahead log, never wait for a write.
#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "server/package.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vnscope::server {

inline constexpr char kDatabaseFile[] = "reports.sqlite3";
// Bumped whenever the tables change; a server refuses a database from a newer
// one and brings an older one up to date when it opens it.
inline constexpr int kSchemaVersion = 5;
// Packages up to this size live in their rows: a commit shared by many small
// reports costs one sync, where a file each would cost one sync each.
// Larger ones are files, so that their bytes are written once.
inline constexpr size_t kInlinePackageLimit = 64 << 10;

// One row of the list reply.
struct ListedReport {
  std::string name;
  std::vector<uint8_t> author_entry;
  uint32_t state = 0;
};

enum class Lookup { kFound, kUnknown, kFailed };

// Who changed a report (its state, assignee or comments), kept in its history.
struct StateChangeOrigin {
  const char* source;  // kSourceBrowser, kSourceDashboard or kSourceApi
  std::string peer;    // address the request came from
  int64_t unix_ms = 0;
  std::string by;      // the name the person gave; empty when unknown
};
inline constexpr char kSourceBrowser[] = "browser";
inline constexpr char kSourceDashboard[] = "dashboard";
inline constexpr char kSourceApi[] = "api";

// One row of the dashboard's list.
struct ReportRow {
  std::string name;
  int64_t received_ms = 0;
  std::string title;     // UTF-8
  std::string reporter;  // UTF-8
  uint32_t flags = 0;
  uint32_t state = 0;
  std::string assignee;  // empty: nobody
  std::string label;     // the game's label when it was sent; empty without one
};

// One page of a tab, newest first, and how many reports each tab holds under
// the same search.
struct PageQuery {
  int filter = 0;      // tab index (report_states.h)
  std::string search;  // matched anywhere in title or reporter; empty: all
  int64_t offset = 0;
  int64_t limit = 50;  // -1: no limit
  std::string assignee;     // exactly this assignee; empty: anyone
  bool unassigned = false;  // only reports nobody has taken (overrides `assignee`)
  std::string label;        // exactly this label; empty: any
};
struct ReportPage {
  std::vector<ReportRow> rows;
  std::array<int64_t, 4> tab_counts{};  // by tab index
};

struct StateChange {
  int64_t changed_ms = 0;
  uint32_t previous = 0;
  uint32_t state = 0;
  std::string source;  // kSourceBrowser, kSourceDashboard or kSourceApi
  std::string peer;
  std::string by;
};

// A comment or an assignee change, kept beside the state changes.
inline constexpr char kNoteComment[] = "comment";
inline constexpr char kNoteAssignee[] = "assignee";
struct ReportNote {
  int64_t at_ms = 0;
  std::string kind;  // kNoteComment or kNoteAssignee
  std::string by;
  std::string source;
  std::string peer;
  std::string previous;  // assignee: who had it (empty: nobody)
  std::string text;      // comment: its text; assignee: who has it now (empty: nobody)
};

// What happened to a report, for the notifications: recorded in the same
// transaction as the change itself, so that none is lost or made up.
inline constexpr char kEventCreated[] = "report.created";
inline constexpr char kEventState[] = "report.state";
inline constexpr char kEventAssignee[] = "report.assignee";
inline constexpr char kEventComment[] = "report.comment";
struct ReportEvent {
  int64_t id = 0;  // grows with every event
  int64_t at_ms = 0;
  std::string event;
  std::string name;
  std::string title;     // as the report was at that moment
  std::string reporter;
  uint32_t state = 0;
  std::string by;
  std::string detail;  // state: the previous state's number; assignee: the new one; comment: its text
};

// Everything the dashboard shows of one report.
struct ReportDetails {
  ReportRow row;
  std::string peer;
  std::vector<uint8_t> package;
  std::vector<StateChange> history;  // oldest first
  std::vector<ReportNote> notes;     // oldest first
};

class ReportStore {
 public:
  // Opens the database in `directory`, creating both when missing, brings an
  // older store up to date, checks the database and that every package file
  // is there whole, and removes files left by submissions that never
  // committed. Returns null with `error` set (naming the damaged file when
  // there is one) when the store cannot be opened, is damaged or was written
  // by a newer server.
  static std::unique_ptr<ReportStore> Open(const std::filesystem::path& directory, std::string* error);
  ~ReportStore();
  ReportStore(const ReportStore&) = delete;
  ReportStore& operator=(const ReportStore&) = delete;

  // Stores a checked package as a new report in state New and returns the
  // name it was given, once the package and the row are on disk. `peer` is kept for the
  // record. Names follow arrival order even when the clock steps back.
  // A package whose report id the store already holds is not stored again:
  // the name of the report that holds it comes back and `already_held`, when
  // given, says so. Of submissions of one new id arriving together, one is
  // stored and the others get its name.
  std::optional<std::string> Add(const PackageSummary& summary, std::span<const uint8_t> package,
                                 const std::string& peer, int64_t unix_ms, std::string* error,
                                 bool* already_held = nullptr);

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

  // Adds a comment (UTF-8) to a report's history, durably.
  Lookup AddComment(const std::string& name, const std::string& text, const StateChangeOrigin& origin,
                    std::string* error);
  // Sets (or, with an empty name, clears) a report's assignee and records
  // the change in its history. Setting the assignee it has records nothing.
  Lookup SetAssignee(const std::string& name, const std::string& assignee, const StateChangeOrigin& origin,
                     std::string* error);

  // From now on every change is also recorded as a ReportEvent, and
  // `listener` (when given) is called after each commit that recorded one.
  // Called once, before the store is shared between threads.
  void RecordEvents(std::function<void()> listener);
  // Up to `limit` events after `after`, oldest first.
  std::optional<std::vector<ReportEvent>> EventsAfter(int64_t after, int64_t limit, std::string* error);
  // The newest event's id (0 when none).
  std::optional<int64_t> LastEventId(std::string* error);
  // How far each receiver got (the last event delivered to it), and since
  // when it has been failing (0: it is not).
  struct Delivery {
    int64_t delivered = 0;
    int64_t failing_since_ms = 0;
  };
  // The receiver's progress; a receiver never seen starts after the newest
  // event, so that a URL added later is not sent the past.
  std::optional<Delivery> DeliveryOf(const std::string& url, std::string* error);
  bool SaveDelivery(const std::string& url, const Delivery& delivery, std::string* error);
  // Drops the events every one of `urls` has received.
  bool DropDeliveredEvents(const std::vector<std::string>& urls, std::string* error);

  // Changes whenever a report is added or re-stated, so that a dashboard can
  // poll it cheaply. Starts from the clock, so that a restarted server does not
  // repeat the values a page saw before.
  uint64_t revision() const { return revision_.load(); }

 private:
  class Connection;
  class ReaderLease;
  struct PendingRow;
  explicit ReportStore(const std::filesystem::path& directory);
  std::unique_ptr<Connection> OpenConnection(std::string* error);
  bool Prepare(std::string* error);
  // Creates the tables, or brings those of an older server up to date, in
  // one transaction; refuses those of a newer one.
  bool UpdateSchema(std::string* error);
  // The steps from schema `from` to the current one, in order.
  bool Upgrade(int from, std::string* error);
  bool MovePackagesOutOfTheirTable(std::string* error);
  // The name of the report that holds `report_id`, read through `db`; empty
  // when none does.
  static std::optional<std::string> NameHoldingId(sqlite3* db, const std::string& report_id, std::string* error);
  bool CheckPackageFiles(std::string* error);
  // Inserts the event `event` of the report with row id `report_id` through
  // the writer, inside the caller's transaction; true when events are off.
  bool RecordEvent(int64_t report_id, const char* event, int64_t at_ms, const std::string& by,
                   const std::string& detail, std::string* error);
  // After a commit that recorded events.
  void EventsCommitted();
  // Runs `change` with the row id and state of the report `name` inside one
  // write transaction and commits it; `change` returns false (with `error`
  // set) to roll it back. Counts as a revision, and tells the event listener.
  Lookup ChangeReport(const std::string& name,
                      const std::function<bool(Connection& writer, int64_t id, uint32_t state, std::string* error)>& change,
                      std::string* error);
  // Hands `row` to the commit thread and waits until it is committed.
  void Commit(const std::shared_ptr<PendingRow>& row);
  // The commit thread: commits whatever rows are waiting, all in one, until
  // the store closes.
  void CommitRows();
  void CommitBatch(const std::vector<std::shared_ptr<PendingRow>>& batch);
  // The package of a row read by `row`: its column `column` is package_bytes
  // and the next one package, which is null when the package is a file.
  bool ReadPackage(const std::string& name, sqlite3_stmt* row, int column, std::vector<uint8_t>* package,
                   std::string* error) const;

  std::filesystem::path database_;
  std::filesystem::path packages_;
  int lock_fd_ = -1;
  std::mutex names_lock_;
  int64_t last_id_ = 0;  // guarded by names_lock_, as is
  int64_t last_ms_ = 0;  //   the time of the last name given
  std::mutex commit_lock_;
  std::vector<std::shared_ptr<PendingRow>> waiting_;  // guarded by commit_lock_, as is
  bool closing_ = false;
  std::condition_variable work_arrived_;
  std::thread committer_;
  std::mutex write_lock_;
  std::unique_ptr<Connection> writer_;
  std::mutex readers_lock_;
  std::vector<std::unique_ptr<Connection>> idle_readers_;
  std::atomic<uint64_t> revision_;
  bool record_events_ = false;
  std::function<void()> event_listener_;
};

}  // namespace vnscope::server
