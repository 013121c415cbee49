#pragma once

#include <memory>
#include <stdexcept>
#include <string>

struct sqlite3;

namespace trevalo::service {

class SqliteStatement;

// A failed SQLite call, with SQLite's own message.
class SqliteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One open SQLite database (a file, or ":memory:"), closed with the object.
class SqliteDatabase {
 public:
  explicit SqliteDatabase(const std::string& path);
  ~SqliteDatabase();
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  // Runs statements that return no rows.
  void execute(const std::string& sql);
  SqliteStatement prepare(const std::string& sql);

  // Commits what runs between its construction and `commit`; rolls back when it goes away
  // uncommitted (an exception on the way), so a request stores all of its rows or none.
  class Transaction {
   public:
    explicit Transaction(SqliteDatabase& database);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

   private:
    SqliteDatabase& database_;
    bool done_ = false;
  };

  sqlite3* handle() const noexcept { return handle_.get(); }
  [[noreturn]] void fail(const std::string& what) const;

 private:
  struct Close {
    void operator()(sqlite3* handle) const noexcept;
  };
  std::unique_ptr<sqlite3, Close> handle_;
};

}  // namespace trevalo::service
