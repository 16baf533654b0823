// The changes the people who triage make to a stored report beside its
// state: comments and the assignee, each kept in the report's history.
#include <string>

#include "server/store.h"
#include "server/store_connection.h"

namespace vnscope::server {

Lookup ReportStore::ChangeReport(
    const std::string& name,
    const std::function<bool(Connection& writer, int64_t id, uint32_t state, std::string* error)>& change,
    std::string* error) {
  std::lock_guard lock(write_lock_);
  Connection& writer = *writer_;
  if (!writer.Exec("BEGIN IMMEDIATE", error)) return Lookup::kFailed;
  auto fail = [&] {
    writer.Exec("ROLLBACK", nullptr);
    return Lookup::kFailed;
  };
  int64_t id = 0;
  uint32_t state = 0;
  {
    Statement query(writer.db(), "SELECT id, state FROM reports WHERE name = ?1");
    query.Bind(1, name);
    switch (query.Step()) {
      case SQLITE_ROW:
        id = sqlite3_column_int64(query.get(), 0);
        state = static_cast<uint32_t>(sqlite3_column_int64(query.get(), 1));
        break;
      case SQLITE_DONE:
        writer.Exec("ROLLBACK", nullptr);
        return Lookup::kUnknown;
      default:
        writer.Fail(error);
        return fail();
    }
  }
  if (!change(writer, id, state, error)) return fail();
  if (!writer.Exec("COMMIT", error)) return fail();
  ++revision_;
  EventsCommitted();
  return Lookup::kFound;
}

namespace {

bool AddNote(sqlite3* db, int64_t id, const char* kind, const StateChangeOrigin& origin,
             const std::string& previous, const std::string& text, std::string* error) {
  Statement note(db,
                 "INSERT INTO notes(report_id, kind, at_ms, by, source, peer, previous, text) "
                 "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
  const std::string kind_text = kind, source = origin.source;  // bound without a copy
  note.Bind(1, id);
  note.Bind(2, kind_text);
  note.Bind(3, origin.unix_ms);
  note.Bind(4, origin.by);
  note.Bind(5, source);
  note.Bind(6, origin.peer);
  note.Bind(7, previous);
  note.Bind(8, text);
  if (note.Step() == SQLITE_DONE) return true;
  *error = sqlite3_errmsg(db);
  return false;
}

}  // namespace

Lookup ReportStore::AddComment(const std::string& name, const std::string& text, const StateChangeOrigin& origin,
                               std::string* error) {
  return ChangeReport(
      name,
      [&](Connection& writer, int64_t id, uint32_t, std::string* failure) {
        return AddNote(writer.db(), id, kNoteComment, origin, "", text, failure) &&
               RecordEvent(id, kEventComment, origin.unix_ms, origin.by, text, failure);
      },
      error);
}

Lookup ReportStore::SetAssignee(const std::string& name, const std::string& assignee, const StateChangeOrigin& origin,
                                std::string* error) {
  return ChangeReport(
      name,
      [&](Connection& writer, int64_t id, uint32_t, std::string* failure) {
        std::string previous;
        {
          Statement query(writer.db(), "SELECT ifnull(assignee, '') FROM reports WHERE id = ?1");
          query.Bind(1, id);
          if (query.Step() != SQLITE_ROW) return writer.Fail(failure);
          previous = query.Text(0);
        }
        if (previous == assignee) return true;
        Statement update(writer.db(), "UPDATE reports SET assignee = ?1 WHERE id = ?2");
        if (!assignee.empty()) update.Bind(1, assignee);
        update.Bind(2, id);
        if (update.Step() != SQLITE_DONE) return writer.Fail(failure);
        return AddNote(writer.db(), id, kNoteAssignee, origin, previous, assignee, failure) &&
               RecordEvent(id, kEventAssignee, origin.unix_ms, origin.by, assignee, failure);
      },
      error);
}

}  // namespace vnscope::server
