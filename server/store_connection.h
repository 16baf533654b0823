// What the store's pieces share beneath ReportStore: a prepared statement, a
// database connection with the statements it keeps, and the lease of a pooled
// read connection. Only the store's own files and its tools beside it
// (retention) include this.
#pragma once
#include <sqlite3.h>

#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "server/store.h"

namespace vnscope::server {

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
  // of the writer's named constants.
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

}  // namespace vnscope::server
