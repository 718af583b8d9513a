// The registry store's SQLite connection, its statements and the mapping of SQLite results.
#include "registry/sqlite_db.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/winerror.h"

namespace cx::platform::registry {
namespace {

// A key's children are found through (parent, fold), the upper-cased name, so that names
// compare without regard to case and enumerate in the order Windows gives them. A volatile
// key carries the boot id it was created in; in any other boot it does not exist.
constexpr const char* kSqlText[] = {
    /* kBegin */ "BEGIN",
    /* kBeginImmediate */ "BEGIN IMMEDIATE",
    /* kCommit */ "COMMIT",
    /* kRollback */ "ROLLBACK",
    /* kKeyById */ "SELECT boot FROM keys WHERE id = ?1",
    /* kFindChild */ "SELECT id, boot, name FROM keys WHERE parent = ?1 AND fold = ?2",
    /* kInsertKey */
    "INSERT INTO keys (parent, name, fold, boot, written) VALUES (?1, ?2, ?3, ?4, ?5)",
    /* kTouchKey */ "UPDATE keys SET written = ?2 WHERE id = ?1",
    /* kAnyVisibleChild */
    "SELECT 1 FROM keys WHERE parent = ?1 AND (boot IS NULL OR boot = ?2) LIMIT 1",
    /* kChildAt */
    "SELECT name, written FROM keys WHERE parent = ?1 AND (boot IS NULL OR boot = ?2) "
    "ORDER BY fold LIMIT 1 OFFSET ?3",
    /* kChildrenInOrder */
    "SELECT id, name, boot FROM keys WHERE parent = ?1 AND (boot IS NULL OR boot = ?2) "
    "ORDER BY fold",
    // UNION, not UNION ALL: a damaged store with a cycle of parents must not loop forever.
    /* kDeleteTreeValues */
    "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION SELECT keys.id FROM keys JOIN tree "
    "ON keys.parent = tree.id) DELETE FROM vals WHERE key IN tree",
    /* kDeleteTreeKeys */
    "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION SELECT keys.id FROM keys JOIN tree "
    "ON keys.parent = tree.id) DELETE FROM keys WHERE id IN tree",
    /* kStaleVolatileKeys */ "SELECT id FROM keys WHERE boot IS NOT NULL AND boot <> ?1",
    /* kGetValue */ "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2",
    // A new value goes to the end of the key's value list; an existing one keeps its place
    // and the case of its name, as on Windows.
    /* kPutValue */
    "INSERT INTO vals (key, name, fold, type, data, seq) VALUES (?1, ?2, ?3, ?4, ?5, "
    "(SELECT coalesce(max(seq), 0) + 1 FROM vals WHERE key = ?1)) "
    "ON CONFLICT (key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    /* kDeleteValue */ "DELETE FROM vals WHERE key = ?1 AND fold = ?2",
    /* kDeleteValuesOfKey */ "DELETE FROM vals WHERE key = ?1",
    /* kValueAt */
    "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY seq LIMIT 1 OFFSET ?2",
    /* kValuesInOrder */ "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY seq",
};
static_assert(std::size(kSqlText) == static_cast<size_t>(Sql::kCount));

// The store holds every community, the read-write one too: owner and group only, whatever the
// umask. SQLite gives its -wal and -shm files the mode of the database file, so the file is
// made here, before SQLite would make it from the umask.
constexpr mode_t kStoreMode = 0660;

void CreateStoreFile(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kStoreMode);
    if (fd < 0) return;  // there already, or SQLite's own open tells what is wrong
    fchmod(fd, kStoreMode);
    close(fd);
}

}  // namespace

Database::~Database() {
    for (sqlite3_stmt* statement : statements_)
        sqlite3_finalize(statement);
    sqlite3_close_v2(db_);
}

int Database::Open(const std::string& path, bool create, std::unique_ptr<Database>* out,
                   int* error_number) {
    *error_number = 0;
    sqlite3* db = nullptr;
    if (create) CreateStoreFile(path);
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    int result = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (result != SQLITE_OK) {
        if (db != nullptr) *error_number = sqlite3_system_errno(db);
        sqlite3_close_v2(db);
        return result;
    }
    sqlite3_busy_timeout(db, kDefaultBusyWaitMs);
    // Keep the -wal and -shm files when the last connection closes: a process that may read
    // the store but not create files beside it can then still open it.
    int persist = 1;
    sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    out->reset(new Database(db));
    // A committed write survives the death of its process with NORMAL; only a power loss
    // can take the last transactions, never the consistency of the file.
    (*out)->Exec("PRAGMA synchronous = NORMAL");
    (*out)->Exec("PRAGMA journal_size_limit = 1048576");
    return SQLITE_OK;
}

sqlite3_stmt* Database::Statement(Sql which) {
    sqlite3_stmt*& statement = statements_[static_cast<size_t>(which)];
    if (statement == nullptr) {
        sqlite3_prepare_v3(db_, kSqlText[static_cast<size_t>(which)], -1, SQLITE_PREPARE_PERSISTENT,
                           &statement, nullptr);
    }
    return statement;
}

int Database::Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

void Database::SetBusyWait(int milliseconds) {
    if (milliseconds == busy_wait_ms_) return;
    sqlite3_busy_timeout(db_, milliseconds);
    busy_wait_ms_ = milliseconds;
}

Query& Query::Bind(int index, std::int64_t value) {
    if (stmt_ != nullptr && bind_error_ == SQLITE_OK)
        bind_error_ = sqlite3_bind_int64(stmt_, index, value);
    return *this;
}

Query& Query::Bind(int index, std::string_view text) {
    // An empty view may have no data pointer, which SQLite would take for NULL.
    if (stmt_ != nullptr && bind_error_ == SQLITE_OK)
        bind_error_ = sqlite3_bind_text(stmt_, index, text.empty() ? "" : text.data(),
                                        static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Query& Query::BindBlob(int index, std::string_view bytes) {
    if (stmt_ != nullptr && bind_error_ == SQLITE_OK)
        bind_error_ = sqlite3_bind_blob64(stmt_, index, bytes.empty() ? "" : bytes.data(),
                                          bytes.size(), SQLITE_TRANSIENT);
    return *this;
}

Query& Query::BindNull(int index) {
    if (stmt_ != nullptr && bind_error_ == SQLITE_OK) bind_error_ = sqlite3_bind_null(stmt_, index);
    return *this;
}

int Query::Step() {
    if (stmt_ == nullptr)
        return sqlite3_errcode(db_.Handle()) != SQLITE_OK ? sqlite3_errcode(db_.Handle())
                                                          : SQLITE_ERROR;
    if (bind_error_ != SQLITE_OK) return bind_error_;
    return sqlite3_step(stmt_);
}

std::string Query::Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    if (text == nullptr) return {};
    return std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
}

std::string Query::Blob(int column) const {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    if (bytes == nullptr) return {};
    return std::string(bytes, static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
}

LONG WinErrorFromSqlite(int result, int error_number) {
    switch (result & 0xff) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE: return ERROR_SUCCESS;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return ERROR_BUSY;
        case SQLITE_NOMEM:
        case SQLITE_TOOBIG: return ERROR_NOT_ENOUGH_MEMORY;
        case SQLITE_FULL: return ERROR_DISK_FULL;
        case SQLITE_NOTADB: return ERROR_BADDB;
        case SQLITE_CORRUPT:
        case SQLITE_CONSTRAINT: return ERROR_REGISTRY_CORRUPT;
        case SQLITE_CANTOPEN:
            if (error_number == EACCES || error_number == EPERM || error_number == EROFS)
                return ERROR_ACCESS_DENIED;
            return ERROR_CANTOPEN;
        default: return ERROR_REGISTRY_IO_FAILED;
    }
}

}  // namespace cx::platform::registry
