// SQLite as the journal uses it: a connection, statements prepared once and
// run many times, and write transactions that roll back unless committed.
// A failure of SQLite throws SqliteFailure with SQLite's own message; the
// journal adds its file and what it was doing.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace morvel::batch::sqlite {

class SqliteFailure : public std::runtime_error {
 public:
  SqliteFailure(const std::string& message, int code) : std::runtime_error(message), code_(code) {}
  // SQLite's primary result code (SQLITE_BUSY, SQLITE_NOTADB, ...).
  int Code() const { return code_; }

 private:
  int code_;
};

class Connection {
 public:
  // Opens the database file `path` for reading and writing; `create`
  // makes it when it does not exist.
  Connection(const std::string& path, bool create);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  sqlite3* Handle() const { return db_; }
  // Runs statements that return no rows.
  void Execute(const char* sql);
  // Runs a pragma (or any statement) and returns its first row's first
  // column as a number (0 when no row) or as a text ("" when no row).
  int64_t Number(const char* sql);
  std::string Text(const char* sql);
  // A failure with SQLite's message for `code` on this connection.
  [[noreturn]] void Fail(int code) const;

 private:
  sqlite3* db_ = nullptr;
};

class Statement {
 public:
  Statement(Connection& connection, const char* sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Binds parameter `index` (from 1).
  Statement& Bind(int index, int64_t value);
  Statement& Bind(int index, std::string_view value);
  // Steps: true with a row to read, false when done.
  bool Step();
  // Steps to the end and resets (its bindings cleared): for statements
  // without rows, their parameters bound.
  void Run();
  // The column `index` (from 0) of the current row.
  int64_t Int(int index) const;
  std::string Text(int index) const;
  bool IsNull(int index) const;
  // Back to the start, its bindings cleared; ready to run again.
  void Reset();

 private:
  Connection& connection_;
  sqlite3_stmt* stmt_ = nullptr;
};

// Resets a statement when the scope ends, a throw included, so that no
// statement half-read keeps its read open.
class Scoped {
 public:
  explicit Scoped(Statement& statement) : statement_(statement) { statement_.Reset(); }
  ~Scoped() { statement_.Reset(); }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;
  Statement* operator->() { return &statement_; }
  Statement& operator*() { return statement_; }

 private:
  Statement& statement_;
};

// A write transaction: BEGIN IMMEDIATE takes the write lock at once (or
// waits for it up to the busy timeout), so that what is read in it is still
// true at its commit. Rolled back unless committed.
class Transaction {
 public:
  Transaction(Statement& begin, Statement& commit, Statement& rollback);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Statement& commit_;
  Statement& rollback_;
  bool open_ = true;
};

}  // namespace morvel::batch::sqlite
