// Key and value operations on the store's tables.
#include "registry/key_tree.h"

#include <chrono>

#include "platform/winerror.h"
#include "registry/key_path.h"

namespace cx::platform::registry {
namespace {

bool VisibleIn(const Query& query, int boot_column, const std::string& boot_id) {
    return query.IsNull(boot_column) || query.Text(boot_column) == boot_id;
}

LONG StepDone(Query& query) {
    int result = query.Step();
    return result == SQLITE_DONE ? ERROR_SUCCESS : WinErrorFromSqlite(result);
}

}  // namespace

std::int64_t FileTimeNow() {
    // 100-ns intervals between 1601-01-01 and 1970-01-01.
    constexpr std::int64_t kUnixEpochAsFileTime = 116444736000000000LL;
    auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    return kUnixEpochAsFileTime +
           std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count() / 100;
}

LONG CheckKeyAlive(Session& session, std::int64_t id, bool* is_volatile) {
    *is_volatile = false;
    if (id >= 1 && id <= kLastRootId) return ERROR_SUCCESS;
    if (session.Absent()) return ERROR_KEY_DELETED;
    Query query(session.Db(), Sql::kKeyById);
    int result = query.Bind(1, id).Step();
    if (result == SQLITE_DONE) return ERROR_KEY_DELETED;
    if (result != SQLITE_ROW) return WinErrorFromSqlite(result);
    if (!VisibleIn(query, 0, session.BootId())) return ERROR_KEY_DELETED;
    *is_volatile = !query.IsNull(0);
    return ERROR_SUCCESS;
}

LONG FindChild(Session& session, std::int64_t parent, std::string_view name, KeyInfo* child,
               std::int64_t* stale_id) {
    if (stale_id != nullptr) *stale_id = 0;
    if (session.Absent()) return ERROR_FILE_NOT_FOUND;
    Query query(session.Db(), Sql::kFindChild);
    int result = query.Bind(1, parent).Bind(2, FoldName(name)).Step();
    if (result == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
    if (result != SQLITE_ROW) return WinErrorFromSqlite(result);
    if (!VisibleIn(query, 1, session.BootId())) {
        if (stale_id != nullptr) *stale_id = query.Int(0);
        return ERROR_FILE_NOT_FOUND;
    }
    child->id = query.Int(0);
    child->is_volatile = !query.IsNull(1);
    child->name = query.Text(2);
    return ERROR_SUCCESS;
}

LONG ResolvePath(Session& session, std::int64_t base, const std::vector<std::string_view>& parts,
                 KeyInfo* key) {
    KeyInfo current{base, false, {}};
    LONG status = CheckKeyAlive(session, base, &current.is_volatile);
    if (status != ERROR_SUCCESS) return status;
    for (std::string_view part : parts) {
        status = FindChild(session, current.id, part, &current);
        if (status != ERROR_SUCCESS) return status;
    }
    *key = current;
    return ERROR_SUCCESS;
}

LONG CreateChild(Session& session, std::int64_t parent, std::string_view name, bool is_volatile,
                 std::int64_t stale_id, std::int64_t* id) {
    if (session.Absent()) return ERROR_CANTWRITE;
    if (stale_id != 0) {
        LONG status = DeleteTree(session.Db(), stale_id);
        if (status != ERROR_SUCCESS) return status;
    }
    Query query(session.Db(), Sql::kInsertKey);
    query.Bind(1, parent).Bind(2, name).Bind(3, FoldName(name));
    if (is_volatile) {
        query.Bind(4, session.BootId());
    } else {
        query.BindNull(4);
    }
    LONG status = StepDone(query.Bind(5, FileTimeNow()));
    if (status != ERROR_SUCCESS) return status;
    *id = sqlite3_last_insert_rowid(session.Db().Handle());
    return ERROR_SUCCESS;
}

LONG CreateKeyPath(Session& session, std::int64_t base, const std::vector<std::string_view>& parts,
                   bool make_volatile, KeyInfo* key, bool* created) {
    KeyInfo current{base, false, {}};
    LONG status = CheckKeyAlive(session, base, &current.is_volatile);
    if (status != ERROR_SUCCESS) return status;
    *created = false;
    for (std::string_view part : parts) {
        KeyInfo child;
        std::int64_t stale_id = 0;
        status = FindChild(session, current.id, part, &child, &stale_id);
        if (status == ERROR_SUCCESS) {
            current = std::move(child);
            continue;
        }
        if (status != ERROR_FILE_NOT_FOUND) return status;
        if (current.is_volatile && !make_volatile) return ERROR_CHILD_MUST_BE_VOLATILE;
        status = CreateChild(session, current.id, part, make_volatile, stale_id, &child.id);
        if (status != ERROR_SUCCESS) return status;
        child.is_volatile = make_volatile;
        child.name = std::string(part);
        current = std::move(child);
        *created = true;
    }
    *key = std::move(current);
    return ERROR_SUCCESS;
}

LONG DeleteTree(Database& db, std::int64_t id) {
    Query values(db, Sql::kDeleteTreeValues);
    LONG status = StepDone(values.Bind(1, id));
    if (status != ERROR_SUCCESS) return status;
    Query keys(db, Sql::kDeleteTreeKeys);
    return StepDone(keys.Bind(1, id));
}

LONG HasVisibleChild(Session& session, std::int64_t id, bool* has_child) {
    *has_child = false;
    if (session.Absent()) return ERROR_SUCCESS;
    Query query(session.Db(), Sql::kAnyVisibleChild);
    int result = query.Bind(1, id).Bind(2, session.BootId()).Step();
    if (result == SQLITE_ROW) *has_child = true;
    return (result == SQLITE_ROW || result == SQLITE_DONE) ? ERROR_SUCCESS
                                                           : WinErrorFromSqlite(result);
}

LONG ChildAt(Session& session, std::int64_t parent, DWORD index, std::string* name,
             std::int64_t* written) {
    if (session.Absent()) return ERROR_NO_MORE_ITEMS;
    Query query(session.Db(), Sql::kChildAt);
    int result = query.Bind(1, parent)
                     .Bind(2, session.BootId())
                     .Bind(3, static_cast<std::int64_t>(index))
                     .Step();
    if (result == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
    if (result != SQLITE_ROW) return WinErrorFromSqlite(result);
    *name = query.Text(0);
    *written = query.Int(1);
    return ERROR_SUCCESS;
}

LONG ListChildren(Session& session, std::int64_t parent, std::vector<KeyInfo>* children) {
    children->clear();
    if (session.Absent()) return ERROR_SUCCESS;
    Query query(session.Db(), Sql::kChildrenInOrder);
    query.Bind(1, parent).Bind(2, session.BootId());
    int result;
    while ((result = query.Step()) == SQLITE_ROW) {
        children->push_back(KeyInfo{query.Int(0), !query.IsNull(2), query.Text(1)});
    }
    return result == SQLITE_DONE ? ERROR_SUCCESS : WinErrorFromSqlite(result);
}

LONG GetValue(Session& session, std::int64_t key, std::string_view name, DWORD* type,
              std::string* data) {
    if (session.Absent()) return ERROR_FILE_NOT_FOUND;
    Query query(session.Db(), Sql::kGetValue);
    int result = query.Bind(1, key).Bind(2, FoldName(name)).Step();
    if (result == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
    if (result != SQLITE_ROW) return WinErrorFromSqlite(result);
    *type = static_cast<DWORD>(query.Int(0));
    *data = query.Blob(1);
    return ERROR_SUCCESS;
}

LONG PutValue(Session& session, std::int64_t key, std::string_view name, DWORD type,
              std::string_view data) {
    if (session.Absent()) return ERROR_CANTWRITE;
    Query query(session.Db(), Sql::kPutValue);
    query.Bind(1, key).Bind(2, name).Bind(3, FoldName(name)).Bind(4, std::int64_t{type});
    LONG status = StepDone(query.BindBlob(5, data));
    return status == ERROR_SUCCESS ? TouchKey(session, key) : status;
}

LONG RemoveValue(Session& session, std::int64_t key, std::string_view name) {
    if (session.Absent()) return ERROR_FILE_NOT_FOUND;
    Query query(session.Db(), Sql::kDeleteValue);
    LONG status = StepDone(query.Bind(1, key).Bind(2, FoldName(name)));
    if (status != ERROR_SUCCESS) return status;
    if (query.Changes() == 0) return ERROR_FILE_NOT_FOUND;
    return TouchKey(session, key);
}

LONG RemoveAllValues(Session& session, std::int64_t key) {
    if (session.Absent()) return ERROR_SUCCESS;
    Query query(session.Db(), Sql::kDeleteValuesOfKey);
    return StepDone(query.Bind(1, key));
}

LONG ValueAt(Session& session, std::int64_t key, DWORD index, ValueRecord* value) {
    if (session.Absent()) return ERROR_NO_MORE_ITEMS;
    Query query(session.Db(), Sql::kValueAt);
    int result = query.Bind(1, key).Bind(2, static_cast<std::int64_t>(index)).Step();
    if (result == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
    if (result != SQLITE_ROW) return WinErrorFromSqlite(result);
    value->name = query.Text(0);
    value->type = static_cast<DWORD>(query.Int(1));
    value->data = query.Blob(2);
    return ERROR_SUCCESS;
}

LONG ListValues(Session& session, std::int64_t key, std::vector<ValueRecord>* values) {
    values->clear();
    if (session.Absent()) return ERROR_SUCCESS;
    Query query(session.Db(), Sql::kValuesInOrder);
    query.Bind(1, key);
    int result;
    while ((result = query.Step()) == SQLITE_ROW) {
        values->push_back(
            ValueRecord{query.Text(0), static_cast<DWORD>(query.Int(1)), query.Blob(2)});
    }
    return result == SQLITE_DONE ? ERROR_SUCCESS : WinErrorFromSqlite(result);
}

LONG TouchKey(Session& session, std::int64_t key) {
    Query query(session.Db(), Sql::kTouchKey);
    return StepDone(query.Bind(1, key).Bind(2, FileTimeNow()));
}

}  // namespace cx::platform::registry
