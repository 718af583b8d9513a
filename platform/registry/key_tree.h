// Keys and values inside one store transaction: lookups that honour volatile keys, creation,
// deletion of subtrees, enumeration. Callers hold a Session that has begun.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/windef.h"
#include "registry/store.h"

namespace cx::platform::registry {

struct KeyInfo {
    std::int64_t id = 0;
    bool is_volatile = false;
    std::string name;  // as created
};

struct ValueRecord {
    std::string name;
    DWORD type = 0;
    std::string data;
};

// ERROR_KEY_DELETED when the key no longer exists in this boot.
LONG CheckKeyAlive(Session& session, std::int64_t id, bool* is_volatile);

// ERROR_FILE_NOT_FOUND when `parent` has no such child in this boot; `stale_id` (if given)
// receives a volatile key of another boot that holds the name, else 0.
LONG FindChild(Session& session, std::int64_t parent, std::string_view name, KeyInfo* child,
               std::int64_t* stale_id = nullptr);
LONG ResolvePath(Session& session, std::int64_t base, const std::vector<std::string_view>& parts,
                 KeyInfo* key);
// Creates the child; a volatile key of another boot with the same name goes first.
LONG CreateChild(Session& session, std::int64_t parent, std::string_view name, bool is_volatile,
                 std::int64_t stale_id, std::int64_t* id);
// Walks `parts` below `base`, creating what is missing (volatile when asked); `created` tells
// whether the last key is new. A non-volatile key cannot go below a volatile one
// (ERROR_CHILD_MUST_BE_VOLATILE).
LONG CreateKeyPath(Session& session, std::int64_t base, const std::vector<std::string_view>& parts,
                   bool make_volatile, KeyInfo* key, bool* created);
// Deletes the key with every key and value below it.
LONG DeleteTree(Database& db, std::int64_t id);
LONG HasVisibleChild(Session& session, std::int64_t id, bool* has_child);
// ERROR_NO_MORE_ITEMS past the last child; children come in the order of their folded names.
LONG ChildAt(Session& session, std::int64_t parent, DWORD index, std::string* name,
             std::int64_t* written);
LONG ListChildren(Session& session, std::int64_t parent, std::vector<KeyInfo>* children);

LONG GetValue(Session& session, std::int64_t key, std::string_view name, DWORD* type,
              std::string* data);
LONG PutValue(Session& session, std::int64_t key, std::string_view name, DWORD type,
              std::string_view data);
LONG RemoveValue(Session& session, std::int64_t key, std::string_view name);
LONG RemoveAllValues(Session& session, std::int64_t key);
// ERROR_NO_MORE_ITEMS past the last value; values come in the order they were created.
LONG ValueAt(Session& session, std::int64_t key, DWORD index, ValueRecord* value);
LONG ListValues(Session& session, std::int64_t key, std::vector<ValueRecord>* values);

// Records a change of the key's values.
LONG TouchKey(Session& session, std::int64_t key);

// Now as a FILETIME count (100 ns since 1601).
std::int64_t FileTimeNow();

}  // namespace cx::platform::registry
