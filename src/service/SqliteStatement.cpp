#include "service/SqliteStatement.h"

#include <sqlite3.h>

#include "service/SqliteDatabase.h"

namespace trevalo::service {

void SqliteStatement::Finalize::operator()(sqlite3_stmt* statement) const noexcept {
  sqlite3_finalize(statement);
}

SqliteStatement::SqliteStatement(SqliteDatabase& database, const std::string& sql)
    : database_(database) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(database.handle(), sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    database.fail("cannot prepare \"" + sql + "\"");
  }
  statement_.reset(statement);
}

SqliteStatement& SqliteStatement::bind(int index, const std::string& value) {
  if (sqlite3_bind_text(statement_.get(), index, value.data(), static_cast<int>(value.size()),
                        SQLITE_TRANSIENT) != SQLITE_OK) {
    database_.fail("cannot bind a text");
  }
  return *this;
}

SqliteStatement& SqliteStatement::bind(int index, double value) {
  if (sqlite3_bind_double(statement_.get(), index, value) != SQLITE_OK) {
    database_.fail("cannot bind a number");
  }
  return *this;
}

SqliteStatement& SqliteStatement::bind(int index, std::int64_t value) {
  if (sqlite3_bind_int64(statement_.get(), index, value) != SQLITE_OK) {
    database_.fail("cannot bind an integer");
  }
  return *this;
}

SqliteStatement& SqliteStatement::bind(int index, const std::optional<std::string>& value) {
  if (value) return bind(index, *value);
  if (sqlite3_bind_null(statement_.get(), index) != SQLITE_OK) database_.fail("cannot bind null");
  return *this;
}

bool SqliteStatement::step() {
  const int status = sqlite3_step(statement_.get());
  if (status == SQLITE_ROW) return true;
  if (status == SQLITE_DONE) return false;
  database_.fail("statement failed");
}

void SqliteStatement::run() {
  while (step()) {
  }
}

void SqliteStatement::reset() {
  sqlite3_reset(statement_.get());
  sqlite3_clear_bindings(statement_.get());
}

std::string SqliteStatement::text(int column) const {
  return optionalText(column).value_or(std::string());
}

std::optional<std::string> SqliteStatement::optionalText(int column) const {
  const auto* text = sqlite3_column_text(statement_.get(), column);
  if (!text) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<std::size_t>(sqlite3_column_bytes(statement_.get(), column)));
}

double SqliteStatement::real(int column) const {
  return sqlite3_column_double(statement_.get(), column);
}

std::int64_t SqliteStatement::integer(int column) const {
  return sqlite3_column_int64(statement_.get(), column);
}

}  // namespace trevalo::service
