#include "service/SqliteDatabase.h"

#include <sqlite3.h>

#include "service/SqliteStatement.h"

namespace trevalo::service {

void SqliteDatabase::Close::operator()(sqlite3* handle) const noexcept {
  sqlite3_close_v2(handle);
}

SqliteDatabase::SqliteDatabase(const std::string& path) {
  sqlite3* handle = nullptr;
  const int status =
      sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  handle_.reset(handle);
  if (status != SQLITE_OK) {
    throw SqliteError("cannot open " + path + ": " +
                      (handle ? sqlite3_errmsg(handle) : sqlite3_errstr(status)));
  }
  // Another process reading the database (a user's sqlite3 shell) should not fail a write.
  sqlite3_busy_timeout(handle, 2000);
}

SqliteDatabase::~SqliteDatabase() = default;

void SqliteDatabase::fail(const std::string& what) const {
  throw SqliteError(what + ": " + sqlite3_errmsg(handle_.get()));
}

void SqliteDatabase::execute(const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(handle_.get(), sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string text = message ? message : "unknown error";
    sqlite3_free(message);
    throw SqliteError(text);
  }
}

SqliteStatement SqliteDatabase::prepare(const std::string& sql) {
  return SqliteStatement(*this, sql);
}

SqliteDatabase::Transaction::Transaction(SqliteDatabase& database) : database_(database) {
  database_.execute("BEGIN IMMEDIATE");
}

SqliteDatabase::Transaction::~Transaction() {
  if (done_) return;
  try {
    database_.execute("ROLLBACK");
  } catch (const SqliteError&) {
    // Nothing more can be done from a destructor; SQLite rolls back on close anyway.
  }
}

void SqliteDatabase::Transaction::commit() {
  database_.execute("COMMIT");
  done_ = true;
}

}  // namespace trevalo::service
