#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct sqlite3_stmt;

namespace trevalo::service {

class SqliteDatabase;

// One prepared statement: bind parameters (counting from 1), step through the rows, read
// columns (counting from 0). Finalised with the object.
class SqliteStatement {
 public:
  SqliteStatement(SqliteDatabase& database, const std::string& sql);

  SqliteStatement& bind(int index, const std::string& value);
  SqliteStatement& bind(int index, double value);
  SqliteStatement& bind(int index, std::int64_t value);
  SqliteStatement& bind(int index, const std::optional<std::string>& value);

  // Moves to the next row; false when there is none (the statement is done).
  bool step();
  // Runs a statement that returns no rows.
  void run();
  void reset();

  std::string text(int column) const;
  std::optional<std::string> optionalText(int column) const;
  double real(int column) const;
  std::int64_t integer(int column) const;

 private:
  struct Finalize {
    void operator()(sqlite3_stmt* statement) const noexcept;
  };
  SqliteDatabase& database_;
  std::unique_ptr<sqlite3_stmt, Finalize> statement_;
};

}  // namespace trevalo::service
