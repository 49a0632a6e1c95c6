// SQLite as the journal uses it.
#include "hosts/batch/Sqlite.h"

#include <sqlite3.h>

namespace morvel::batch::sqlite {

Connection::Connection(const std::string& path, bool create) {
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    sqlite3_close(db_);
    db_ = nullptr;
    throw SqliteFailure(message, rc & 0xff);
  }
  sqlite3_extended_result_codes(db_, 1);
}

Connection::~Connection() {
  // Statements are finalized by their owners first; a close that still
  // finds one open leaves the connection to be closed with the last one.
  sqlite3_close_v2(db_);
}

void Connection::Fail(int code) const { throw SqliteFailure(sqlite3_errmsg(db_), code & 0xff); }

void Connection::Execute(const char* sql) {
  char* error = nullptr;
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &error);
  if (rc == SQLITE_OK) return;
  std::string message = error ? error : sqlite3_errstr(rc);
  sqlite3_free(error);
  throw SqliteFailure(message, rc & 0xff);
}

int64_t Connection::Number(const char* sql) {
  Statement statement(*this, sql);
  return statement.Step() ? statement.Int(0) : 0;
}

std::string Connection::Text(const char* sql) {
  Statement statement(*this, sql);
  return statement.Step() ? statement.Text(0) : std::string();
}

Statement::Statement(Connection& connection, const char* sql) : connection_(connection) {
  const int rc = sqlite3_prepare_v3(connection.Handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
  if (rc != SQLITE_OK) connection.Fail(rc);
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::Bind(int index, int64_t value) {
  const int rc = sqlite3_bind_int64(stmt_, index, value);
  if (rc != SQLITE_OK) connection_.Fail(rc);
  return *this;
}

Statement& Statement::Bind(int index, std::string_view value) {
  // An empty view may hold no pointer at all, which SQLite binds as NULL:
  // an empty text is bound from "".
  const char* text = value.data() ? value.data() : "";
  const int rc = sqlite3_bind_text64(stmt_, index, text, value.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  if (rc != SQLITE_OK) connection_.Fail(rc);
  return *this;
}

bool Statement::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  sqlite3_reset(stmt_);
  connection_.Fail(rc);
}

void Statement::Run() {
  while (Step()) {
  }
  Reset();
}

int64_t Statement::Int(int index) const { return sqlite3_column_int64(stmt_, index); }

std::string Statement::Text(int index) const {
  const auto* text = sqlite3_column_text(stmt_, index);
  return text ? std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt_, index)) : std::string();
}

bool Statement::IsNull(int index) const { return sqlite3_column_type(stmt_, index) == SQLITE_NULL; }

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

Transaction::Transaction(Statement& begin, Statement& commit, Statement& rollback)
    : commit_(commit), rollback_(rollback) {
  begin.Run();
}

Transaction::~Transaction() {
  if (!open_) return;
  try {
    rollback_.Run();
  } catch (const SqliteFailure&) {
    // A commit that failed may have ended the transaction itself; nothing
    // is left to roll back then.
  }
}

void Transaction::Commit() {
  commit_.Run();
  open_ = false;
}

}  // namespace morvel::batch::sqlite
