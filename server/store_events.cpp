// The notifications' queue in the store: every change is recorded as an
// event in the transaction that makes it, and each receiving URL's progress
// through the events is kept beside them, so that a restart neither loses
// an event nor sends one twice.
#include <string>

#include "server/store.h"
#include "server/store_connection.h"

namespace vnscope::server {
namespace {

constexpr char kRecordEvent[] =
    "INSERT INTO webhook_events(at_ms, event, name, title, reporter, state, by, detail) "
    "SELECT ?1, ?2, name, title, reporter, state, ?3, ?4 FROM reports WHERE id = ?5";

}  // namespace

void ReportStore::RecordEvents(std::function<void()> listener) {
  record_events_ = true;
  event_listener_ = std::move(listener);
}

bool ReportStore::RecordEvent(int64_t report_id, const char* event, int64_t at_ms, const std::string& by,
                              const std::string& detail, std::string* error) {
  if (!record_events_) return true;
  Statement& insert = writer_->Kept(kRecordEvent);
  const std::string event_text = event;  // bound without a copy
  insert.Bind(1, at_ms);
  insert.Bind(2, event_text);
  insert.Bind(3, by);
  insert.Bind(4, detail);
  insert.Bind(5, report_id);
  const bool done = insert.Step() == SQLITE_DONE;
  if (!done) writer_->Fail(error);
  insert.Reset();
  return done;
}

void ReportStore::EventsCommitted() {
  if (record_events_ && event_listener_) event_listener_();
}

std::optional<std::vector<ReportEvent>> ReportStore::EventsAfter(int64_t after, int64_t limit, std::string* error) {
  ReaderLease reader(*this, error);
  if (!reader) return std::nullopt;
  Statement query(reader->db(),
                  "SELECT id, at_ms, event, name, title, reporter, state, by, detail FROM webhook_events "
                  "WHERE id > ?1 ORDER BY id LIMIT ?2");
  query.Bind(1, after);
  query.Bind(2, limit);
  std::vector<ReportEvent> events;
  int rc;
  while ((rc = query.Step()) == SQLITE_ROW) {
    ReportEvent& event = events.emplace_back();
    event.id = sqlite3_column_int64(query.get(), 0);
    event.at_ms = sqlite3_column_int64(query.get(), 1);
    event.event = query.Text(2);
    event.name = query.Text(3);
    event.title = query.Text(4);
    event.reporter = query.Text(5);
    event.state = static_cast<uint32_t>(sqlite3_column_int64(query.get(), 6));
    event.by = query.Text(7);
    event.detail = query.Text(8);
  }
  if (rc != SQLITE_DONE) {
    reader->Fail(error);
    return std::nullopt;
  }
  return events;
}

std::optional<int64_t> ReportStore::LastEventId(std::string* error) {
  ReaderLease reader(*this, error);
  if (!reader) return std::nullopt;
  // The sequence outlives dropped events: AUTOINCREMENT never reuses an id.
  Statement query(reader->db(),
                  "SELECT max(ifnull((SELECT max(id) FROM webhook_events), 0), "
                  "ifnull((SELECT seq FROM sqlite_sequence WHERE name = 'webhook_events'), 0))");
  if (query.Step() != SQLITE_ROW) {
    reader->Fail(error);
    return std::nullopt;
  }
  return sqlite3_column_int64(query.get(), 0);
}

std::optional<ReportStore::Delivery> ReportStore::DeliveryOf(const std::string& url, std::string* error) {
  {
    ReaderLease reader(*this, error);
    if (!reader) return std::nullopt;
    Statement query(reader->db(), "SELECT delivered, failing_since_ms FROM webhook_progress WHERE url = ?1");
    query.Bind(1, url);
    switch (query.Step()) {
      case SQLITE_ROW:
        return Delivery{sqlite3_column_int64(query.get(), 0), sqlite3_column_int64(query.get(), 1)};
      case SQLITE_DONE:
        break;
      default:
        reader->Fail(error);
        return std::nullopt;
    }
  }
  const auto last = LastEventId(error);
  if (!last) return std::nullopt;
  const Delivery fresh{*last, 0};
  if (!SaveDelivery(url, fresh, error)) return std::nullopt;
  return fresh;
}

bool ReportStore::SaveDelivery(const std::string& url, const Delivery& delivery, std::string* error) {
  std::lock_guard lock(write_lock_);
  // Not synced: a receiver's place is written after every event it takes,
  // and a sync each would hold the submissions' commits up. The write-ahead
  // log keeps it across a restart or a crash of the server; only a power cut
  // can take the last places back, and then those events go out again.
  // Every other commit of this connection is synced, under the same lock.
  writer_->Exec("PRAGMA synchronous=NORMAL", nullptr);
  Statement save(writer_->db(),
                 "INSERT INTO webhook_progress(url, delivered, failing_since_ms) VALUES(?1, ?2, ?3) "
                 "ON CONFLICT(url) DO UPDATE SET delivered = excluded.delivered, "
                 "failing_since_ms = excluded.failing_since_ms");
  save.Bind(1, url);
  save.Bind(2, delivery.delivered);
  save.Bind(3, delivery.failing_since_ms);
  const bool saved = save.Step() == SQLITE_DONE || writer_->Fail(error);
  writer_->Exec("PRAGMA synchronous=FULL", nullptr);
  return saved;
}

bool ReportStore::DropDeliveredEvents(const std::vector<std::string>& urls, std::string* error) {
  if (urls.empty()) return true;
  std::string list;
  for (size_t i = 0; i < urls.size(); ++i) list += (i ? ", ?" : "?") + std::to_string(i + 1);
  const std::string sql = "DELETE FROM webhook_events WHERE id <= (SELECT CASE WHEN count(*) = " +
                          std::to_string(urls.size()) + " THEN min(delivered) ELSE 0 END FROM webhook_progress "
                          "WHERE url IN (" + list + "))";
  std::lock_guard lock(write_lock_);
  Statement drop(writer_->db(), sql.c_str());
  for (size_t i = 0; i < urls.size(); ++i) drop.Bind(static_cast<int>(i + 1), urls[i]);
  return drop.Step() == SQLITE_DONE || writer_->Fail(error);
}

}  // namespace vnscope::server
