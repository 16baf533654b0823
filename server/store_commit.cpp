// Adding reports: each submission's row goes to the commit thread, which
// writes every row waiting in one transaction and wakes each writer on its own
// word once that transaction is synced. A report id is stored once: a package
// whose id is held already is answered with the holder's name.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>

#include "report/protocol/report_states.h"
#include "report/protocol/utf8_text.h"
#include "server/package_files.h"
#include "server/report_name.h"
#include "server/store.h"
#include "server/store_connection.h"

namespace vnscope::server {
namespace {

constexpr char kBegin[] = "BEGIN IMMEDIATE";
constexpr char kCommit[] = "COMMIT";
constexpr char kInsertReport[] =
    "INSERT INTO reports(id, name, received_ms, peer, title, reporter, flags, state, author, package_bytes, package, "
    "reportid, label) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)";

}  // namespace

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
  const std::string* report_id = nullptr;  // empty: none
  const std::string* label = nullptr;      // empty: none
  bool in_file = false;  // the package is a file; the row holds none
  // Set once the commit thread is done with the row. A word of its own to
  // wait on rather than a condition variable under commit_lock_: the threads
  // of a batch then wake without queueing for that lock one after another.
  std::atomic<bool> done = false;
  // Filled in by the commit thread before `done` says so.
  bool stored = false;
  bool never_stored = false;  // refused for sure, not merely unknown
  // Not stored because another row holds the report id, committed in this
  // transaction or before: that row's name.
  std::string held_by;
  std::string error;
};

std::optional<std::string> ReportStore::Add(const PackageSummary& summary, std::span<const uint8_t> package,
                                            const std::string& peer, int64_t unix_ms, std::string* error,
                                            bool* already_held) {
  if (already_held) *already_held = false;
  if (!summary.report_id.empty()) {
    // The usual repeat (a client that never saw our answer) is turned away
    // here, before its package is written anywhere. Ids arriving together
    // meet again at the index.
    ReaderLease reader(*this, error);
    if (!reader) return std::nullopt;
    std::optional<std::string> holder = NameHoldingId(reader->db(), summary.report_id, error);
    if (!holder) return std::nullopt;
    if (!holder->empty()) {
      if (already_held) *already_held = true;
      return holder;
    }
  }
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
  row.title = EncodeUtf8(summary.author.title);
  row.reporter = EncodeUtf8(summary.author.reporter);
  row.flags = summary.author.flags;
  row.author = summary.author_entry;
  row.package = package;
  row.report_id = &summary.report_id;
  row.label = &summary.label;
  row.in_file = package.size() > kInlinePackageLimit;
  // Written in place: until its row commits nothing reads the file, and the
  // start-up pass removes it, whole or not, if the row never does. Its name
  // is synced with the others' in the shared commit.
  if (row.in_file && !WritePackageFile(packages_, name, package, error)) return std::nullopt;
  Commit(shared_row);
  if (row.stored) return name;
  // A file whose row may still have committed stays for the next start-up
  // to judge.
  if (row.in_file && row.never_stored) unlink(PackagePath(packages_, name).c_str());
  if (!row.held_by.empty()) {
    if (already_held) *already_held = true;
    return row.held_by;
  }
  if (error) *error = row.error;
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
      row->held_by.clear();  // the holder may have been in this batch
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
    if (!row->report_id->empty()) insert.Bind(12, *row->report_id);
    if (!row->label->empty()) insert.Bind(13, *row->label);
    // A failing insert undoes itself and leaves the others' rows be, unless
    // the failure ended the whole transaction.
    row->stored = insert.Step() == SQLITE_DONE;
    if (row->stored) {
      ++stored;
      // The event shares the row's fate: a failure here fails the batch.
      if (!RecordEvent(row->id, kEventCreated, row->unix_ms, "", "", &error)) {
        insert.Reset();
        writer.Exec("ROLLBACK", nullptr);
        return fail_all(error, true);
      }
      continue;
    }
    row->error = sqlite3_errmsg(writer.db());
    row->never_stored = true;
    if (sqlite3_get_autocommit(writer.db())) {
      insert.Reset();
      return fail_all(row->error, true);
    }
    if (sqlite3_extended_errcode(writer.db()) == SQLITE_CONSTRAINT_UNIQUE && !row->report_id->empty()) {
      // Only the id can be taken: names are handed out once.
      if (std::optional<std::string> holder = NameHoldingId(writer.db(), *row->report_id, nullptr)) {
        row->held_by = *holder;
      }
    }
  }
  insert.Reset();  // lets go of the rows' bytes, bound without a copy
  if (!writer.Run(kCommit, &error)) {
    writer.Exec("ROLLBACK", nullptr);
    return fail_all(error, false);
  }
  revision_ += stored;
  if (stored > 0) EventsCommitted();
}

}  // namespace vnscope::server
