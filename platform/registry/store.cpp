// The registry store: its file, schema, boot id, connection pool and transactions.
#include "registry/store.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "core/errno_map.h"
#include "platform/registry_store.h"
#include "platform/winerror.h"
#include "registry/key_tree.h"

namespace cx::platform::registry {
namespace {

constexpr const char* kInstalledStorePath = "/var/lib/catalix/registry.db";
// Marks a SQLite file as a registry store ("CXRG"), so that a path pointing at some other
// database is refused instead of being written into.
constexpr std::int64_t kApplicationId = 0x43585247;
constexpr std::int64_t kSchemaVersion = 1;
constexpr size_t kMaxIdleConnections = 4;

// HKLM\SOFTWARE and HKLM\SYSTEM exist from the start, as the hives always do on Windows:
// otherwise the first volatile key created below one of them would make it volatile too, and
// every non-volatile key after it would be refused.
constexpr const char* kSchema = R"sql(
CREATE TABLE keys (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER NOT NULL,
    name TEXT NOT NULL,
    fold TEXT NOT NULL,
    boot TEXT,
    written INTEGER NOT NULL
);
CREATE UNIQUE INDEX keys_by_parent ON keys (parent, fold);
CREATE INDEX keys_volatile ON keys (boot) WHERE boot IS NOT NULL;
CREATE TABLE vals (
    key INTEGER NOT NULL,
    name TEXT NOT NULL,
    fold TEXT NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    seq INTEGER NOT NULL,
    PRIMARY KEY (key, fold)
) WITHOUT ROWID;
CREATE INDEX vals_in_order ON vals (key, seq);
INSERT INTO keys (id, parent, name, fold, boot, written) VALUES
    (1, 0, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT', NULL, 0),
    (2, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER', NULL, 0),
    (3, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE', NULL, 0),
    (4, 0, 'HKEY_USERS', 'HKEY_USERS', NULL, 0),
    (5, 3, 'SOFTWARE', 'SOFTWARE', NULL, 0),
    (6, 3, 'SYSTEM', 'SYSTEM', NULL, 0);
PRAGMA application_id = 1129861703;  -- kApplicationId
PRAGMA user_version = 1;
)sql";

struct StoreState {
    std::mutex lock;
    bool initialised = false;
    std::string path;
    std::string boot_id;
    std::uint64_t generation = 1;
    bool purge_done = false;
    std::vector<std::unique_ptr<Database>> idle;
};

StoreState& State() {
    static StoreState* state = new StoreState;  // never destroyed: threads may call at exit
    return *state;
}

std::string ReadBootId() {
    const char* forced = std::getenv("CX_BOOT_ID");
    if (forced != nullptr && forced[0] != '\0') return forced;
    std::ifstream file("/proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(file, id);
    while (!id.empty() && (id.back() == '\n' || id.back() == ' '))
        id.pop_back();
    return id.empty() ? "unknown" : id;
}

void InitialiseLocked(StoreState& state) {
    if (state.initialised) return;
    state.path = DefaultStorePath();
    state.boot_id = ReadBootId();
    state.initialised = true;
}

struct Lease {
    std::unique_ptr<Database> db;
    std::string path;
    std::string boot_id;
    std::uint64_t generation = 0;
    bool purge_due = false;
};

Lease TakeConnection() {
    StoreState& state = State();
    std::lock_guard guard(state.lock);
    InitialiseLocked(state);
    Lease lease;
    lease.path = state.path;
    lease.boot_id = state.boot_id;
    lease.generation = state.generation;
    if (!state.idle.empty()) {
        lease.db = std::move(state.idle.back());
        state.idle.pop_back();
    }
    return lease;
}

// Marks the purge of the previous boots' volatile keys as done for this generation; true for
// the one caller that is to do it. A purge that could not be made is handed back.
bool ClaimPurge(std::uint64_t generation) {
    StoreState& state = State();
    std::lock_guard guard(state.lock);
    if (state.generation != generation || state.purge_done) return false;
    state.purge_done = true;
    return true;
}

void ReturnPurge(std::uint64_t generation) {
    StoreState& state = State();
    std::lock_guard guard(state.lock);
    if (state.generation == generation) state.purge_done = false;
}

void GiveBack(std::unique_ptr<Database> db, std::uint64_t generation) {
    StoreState& state = State();
    {
        std::lock_guard guard(state.lock);
        if (generation == state.generation && state.idle.size() < kMaxIdleConnections) {
            state.idle.push_back(std::move(db));
            return;
        }
    }
    db.reset();  // closed outside the lock
}

int PragmaInt(Database& db, const char* sql, std::int64_t* value) {
    sqlite3_stmt* statement = nullptr;
    int result = sqlite3_prepare_v2(db.Handle(), sql, -1, &statement, nullptr);
    if (result == SQLITE_OK) {
        result = sqlite3_step(statement);
        if (result == SQLITE_ROW) {
            *value = sqlite3_column_int64(statement, 0);
            result = SQLITE_OK;
        }
    }
    sqlite3_finalize(statement);
    return result;
}

enum class Schema { kReady, kEmpty };

// The checks of InspectSchema, which must see one state of the file.
LONG InspectSchemaOnce(Database& db, Schema* schema) {
    std::int64_t application_id = 0;
    int result = PragmaInt(db, "PRAGMA application_id", &application_id);
    if (result != SQLITE_OK) return WinErrorFromSqlite(result);
    if (application_id == kApplicationId) {
        std::int64_t version = 0;
        result = PragmaInt(db, "PRAGMA user_version", &version);
        if (result != SQLITE_OK) return WinErrorFromSqlite(result);
        if (version > kSchemaVersion) return ERROR_BADDB;
        db.schema_ready = true;
        *schema = Schema::kReady;
        return ERROR_SUCCESS;
    }
    if (application_id != 0) return ERROR_BADDB;
    std::int64_t objects = 0;
    result = PragmaInt(db, "SELECT count(*) FROM sqlite_master", &objects);
    if (result != SQLITE_OK) return WinErrorFromSqlite(result);
    if (objects != 0) return ERROR_BADDB;
    *schema = Schema::kEmpty;
    return ERROR_SUCCESS;
}

// Whether the file holds our schema, nothing at all, or something else (ERROR_BADDB). The
// header and the table count are read in one transaction: read apart, a store that another
// thread or process is creating at that moment could look like a foreign database.
LONG InspectSchema(Database& db, Schema* schema) {
    if (db.schema_ready) {
        *schema = Schema::kReady;
        return ERROR_SUCCESS;
    }
    if (!sqlite3_get_autocommit(db.Handle())) return InspectSchemaOnce(db, schema);
    int result = db.Exec("BEGIN");
    if (result != SQLITE_OK) return WinErrorFromSqlite(result);
    LONG status = InspectSchemaOnce(db, schema);
    db.Exec(status == ERROR_SUCCESS ? "COMMIT" : "ROLLBACK");
    return status;
}

LONG CreateSchema(Database& db) {
    if (db.ReadOnly()) return ERROR_ACCESS_DENIED;
    // WAL cannot be switched on inside a transaction; it is stored in the file once set.
    int result = db.Exec("PRAGMA journal_mode = WAL");
    if (result != SQLITE_OK) return WinErrorFromSqlite(result);
    result = db.Exec("BEGIN IMMEDIATE");
    if (result != SQLITE_OK) return WinErrorFromSqlite(result);
    Schema schema = Schema::kEmpty;
    LONG status = InspectSchema(db, &schema);  // another process may have been first
    if (status == ERROR_SUCCESS && schema == Schema::kEmpty) {
        result = db.Exec(kSchema);
        if (result == SQLITE_OK) result = db.Exec("COMMIT");
        status = WinErrorFromSqlite(result);
        if (status == ERROR_SUCCESS) db.schema_ready = true;
    } else if (status == ERROR_SUCCESS) {
        db.Exec("COMMIT");
    }
    if (status != ERROR_SUCCESS) db.Exec("ROLLBACK");
    return status;
}

// Volatile keys of earlier boots do not exist; this removes them from the file for good.
// Failures leave them to be hidden by every lookup instead. The purge never waits for another
// writer: it is the first call's chore, and that call may be a read. False when the store was
// busy, so that a later session does it.
bool PurgeStaleVolatileKeys(Database& db, const std::string& boot_id) {
    if (db.ReadOnly()) return true;
    {
        Query probe(db, Sql::kStaleVolatileKeys);
        if (probe.Bind(1, boot_id).Step() != SQLITE_ROW) return true;
    }
    const int begun = db.Exec("BEGIN IMMEDIATE");
    if (begun != SQLITE_OK) return (begun & 0xff) != SQLITE_BUSY;
    std::vector<std::int64_t> stale;
    {
        Query list(db, Sql::kStaleVolatileKeys);
        list.Bind(1, boot_id);
        while (list.Step() == SQLITE_ROW)
            stale.push_back(list.Int(0));
    }
    LONG status = ERROR_SUCCESS;
    for (std::int64_t id : stale) {
        if (status == ERROR_SUCCESS) status = DeleteTree(db, id);
    }
    db.Exec(status == ERROR_SUCCESS ? "COMMIT" : "ROLLBACK");
    return true;
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

LONG CreateParentDirectory(const std::string& path) {
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (parent.empty()) return ERROR_SUCCESS;
    std::error_code error;
    std::filesystem::create_directories(parent, error);
    if (error) return static_cast<LONG>(WinErrorFromErrno(error.value()));
    return ERROR_SUCCESS;
}

}  // namespace

std::string DefaultStorePath() {
    const char* configured = std::getenv("CX_REGISTRY");
    if (configured != nullptr && configured[0] != '\0') return configured;
    return kInstalledStorePath;
}

std::string CurrentStorePath() {
    StoreState& state = State();
    std::lock_guard guard(state.lock);
    InitialiseLocked(state);
    return state.path;
}

std::uint64_t CurrentGeneration() {
    StoreState& state = State();
    std::lock_guard guard(state.lock);
    return state.generation;
}

Session::~Session() {
    if (db_ == nullptr) return;
    if (in_transaction_) Query(*db_, Sql::kRollback).Step();
    GiveBack(std::move(db_), generation_);
}

LONG Session::Begin(Access access, int busy_wait_ms) {
    Lease lease = TakeConnection();
    boot_id_ = lease.boot_id;
    generation_ = lease.generation;
    db_ = std::move(lease.db);
    if (db_ == nullptr) {
        bool exists = FileExists(lease.path);
        if (!exists && access == Access::kRead) return ERROR_SUCCESS;
        if (!exists) {
            LONG status = CreateParentDirectory(lease.path);
            if (status != ERROR_SUCCESS) return status;
        }
        int error_number = 0;
        int result = Database::Open(lease.path, access == Access::kWrite, &db_, &error_number);
        if (result != SQLITE_OK) {
            if (access == Access::kRead && error_number == ENOENT) return ERROR_SUCCESS;
            return WinErrorFromSqlite(result, error_number);
        }
    }
    db_->SetBusyWait(busy_wait_ms);
    Schema schema = Schema::kEmpty;
    LONG status = InspectSchema(*db_, &schema);
    if (status == ERROR_SUCCESS && schema == Schema::kEmpty) {
        if (access == Access::kRead) {
            GiveBack(std::move(db_), generation_);
            return ERROR_SUCCESS;
        }
        // Connections that create the store at the same moment can be refused outright while
        // one of them switches the file to WAL; a short bounded retry settles it.
        status = CreateSchema(*db_);
        for (int attempt = 1; status == ERROR_BUSY && attempt < 50; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(attempt));
            status = CreateSchema(*db_);
        }
    }
    if (status == ERROR_SUCCESS && access == Access::kWrite && db_->ReadOnly())
        status = ERROR_ACCESS_DENIED;
    if (status != ERROR_SUCCESS) {
        db_.reset();  // a connection that failed is not kept for others
        return status;
    }
    if (ClaimPurge(generation_)) {
        db_->SetBusyWait(0);
        if (!PurgeStaleVolatileKeys(*db_, boot_id_)) ReturnPurge(generation_);
        db_->SetBusyWait(busy_wait_ms);
    }
    int result = Query(*db_, access == Access::kWrite ? Sql::kBeginImmediate : Sql::kBegin).Step();
    if (result != SQLITE_DONE) {
        status = WinErrorFromSqlite(result);
        db_.reset();
        return status;
    }
    in_transaction_ = true;
    return ERROR_SUCCESS;
}

LONG Session::Commit() {
    if (db_ == nullptr || !in_transaction_) return ERROR_SUCCESS;
    int result = Query(*db_, Sql::kCommit).Step();
    if (result != SQLITE_DONE) return WinErrorFromSqlite(result);  // the destructor rolls back
    in_transaction_ = false;
    return ERROR_SUCCESS;
}

}  // namespace cx::platform::registry

void CxRegistrySetPath(const char* path) {
    using namespace cx::platform::registry;
    std::vector<std::unique_ptr<Database>> closing;
    StoreState& state = State();
    {
        std::lock_guard guard(state.lock);
        state.path = path != nullptr ? std::string(path) : DefaultStorePath();
        state.boot_id = ReadBootId();
        state.initialised = true;
        ++state.generation;
        state.purge_done = false;
        closing.swap(state.idle);
    }
}

std::string CxRegistryPath() { return cx::platform::registry::CurrentStorePath(); }
