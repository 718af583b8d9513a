// One SQLite connection to the registry store, with its prepared statements kept for reuse.
#pragma once

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/windef.h"

namespace cx::platform::registry {

// Every statement the store runs; the text of each is in sqlite_db.cpp.
enum class Sql {
    kBegin,
    kBeginImmediate,
    kCommit,
    kRollback,
    kKeyById,
    kFindChild,
    kInsertKey,
    kTouchKey,
    kAnyVisibleChild,
    kChildAt,
    kChildrenInOrder,
    kDeleteTreeValues,
    kDeleteTreeKeys,
    kStaleVolatileKeys,
    kGetValue,
    kPutValue,
    kDeleteValue,
    kDeleteValuesOfKey,
    kValueAt,
    kValuesInOrder,
    kCount
};

// How long a writer waits for another connection's transaction before it gives up, unless its
// session says otherwise.
constexpr int kDefaultBusyWaitMs = 10000;

class Database {
  public:
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens `path`; `create` allows a new file. Returns the SQLite result code; on failure
    // `error_number` holds the system error behind it.
    static int Open(const std::string& path, bool create, std::unique_ptr<Database>* out,
                    int* error_number);

    sqlite3* Handle() const { return db_; }
    sqlite3_stmt* Statement(Sql which);  // nullptr when it cannot be prepared
    int Exec(const char* sql);
    bool ReadOnly() const { return sqlite3_db_readonly(db_, "main") == 1; }
    // How long the next statements wait for a lock another connection holds.
    void SetBusyWait(int milliseconds);

    // Set once the schema was seen; a store's schema never goes away.
    bool schema_ready = false;

  private:
    explicit Database(sqlite3* db) : db_(db) {}
    sqlite3* db_;
    std::array<sqlite3_stmt*, static_cast<size_t>(Sql::kCount)> statements_{};
    int busy_wait_ms_ = kDefaultBusyWaitMs;
};

// A prepared statement in use: bound, stepped, and reset when it goes out of scope.
class Query {
  public:
    Query(Database& db, Sql which) : db_(db), stmt_(db.Statement(which)) {}
    ~Query() {
        if (stmt_ != nullptr) {
            sqlite3_reset(stmt_);
            sqlite3_clear_bindings(stmt_);
        }
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& Bind(int index, std::int64_t value);
    Query& Bind(int index, std::string_view text);
    Query& BindBlob(int index, std::string_view bytes);
    Query& BindNull(int index);

    // SQLITE_ROW, SQLITE_DONE or an error code (SQLITE_ERROR when the statement did not
    // prepare).
    int Step();
    std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
    bool IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    std::string Text(int column) const;
    std::string Blob(int column) const;
    // Rows changed by the last step of this statement.
    int Changes() const { return sqlite3_changes(db_.Handle()); }

  private:
    Database& db_;
    sqlite3_stmt* stmt_;
    int bind_error_ = SQLITE_OK;
};

// Windows error code for a SQLite result code (and the system error behind a failed open).
LONG WinErrorFromSqlite(int result, int error_number = 0);

}  // namespace cx::platform::registry
