// Import of .reg text into the store in one transaction, and export of a consistent snapshot.
#include "platform/registry_store.h"
#include "registry/key_path.h"
#include "registry/key_tree.h"
#include "registry/store.h"

namespace cx::platform {
namespace {

using registry::KeyInfo;
using registry::Session;

// A damaged store could link keys in a cycle; no real path is this deep.
constexpr size_t kMaxExportDepth = registry::kMaxKeyDepth + 1;

std::int64_t RootId(HKEY root) {
    return static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(root) - 0x80000000u) + 1;
}

bool HasLineBreak(std::string_view name) {
    return name.find_first_of("\r\n") != std::string_view::npos;
}

LONG SplitFullPath(std::string_view path, std::int64_t* root_id,
                   std::vector<std::string_view>* parts) {
    HKEY root = nullptr;
    std::string_view sub_key;
    if (!SplitRootPath(path, &root, &sub_key)) return ERROR_BAD_PATHNAME;
    *root_id = RootId(root);
    return registry::SplitKeyPath(sub_key, parts);
}

LONG ApplyKey(Session& session, const RegTextKey& key) {
    std::int64_t root_id = 0;
    std::vector<std::string_view> parts;
    LONG status = SplitFullPath(key.path, &root_id, &parts);
    if (status != ERROR_SUCCESS) return status;
    KeyInfo target;
    if (key.remove) {
        if (parts.empty()) return ERROR_ACCESS_DENIED;
        status = registry::ResolvePath(session, root_id, parts, &target);
        if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS) return status;
        return registry::DeleteTree(session.Db(), target.id);
    }
    bool created = false;
    status = registry::CreateKeyPath(session, root_id, parts, key.is_volatile, &target, &created);
    for (const RegTextValue& value : key.values) {
        if (status != ERROR_SUCCESS) break;
        if (value.remove) {
            status = registry::RemoveValue(session, target.id, value.name);
            if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
        } else {
            status = registry::PutValue(session, target.id, value.name, value.type, value.data);
        }
    }
    return status;
}

LONG ExportKey(Session& session, const KeyInfo& key, const std::string& path, bool is_root,
               size_t depth, std::vector<RegTextKey>* keys) {
    if (depth > kMaxExportDepth) return ERROR_REGISTRY_CORRUPT;
    std::vector<registry::ValueRecord> values;
    LONG status = registry::ListValues(session, key.id, &values);
    if (status != ERROR_SUCCESS) return status;
    // Root keys always exist; they are written only when they hold values.
    if (!is_root || !values.empty()) {
        RegTextKey entry;
        entry.path = path;
        entry.is_volatile = key.is_volatile;
        for (registry::ValueRecord& value : values) {
            if (HasLineBreak(value.name)) return ERROR_INVALID_DATA;
            entry.values.push_back(
                RegTextValue{std::move(value.name), false, value.type, std::move(value.data)});
        }
        keys->push_back(std::move(entry));
    }
    std::vector<KeyInfo> children;
    status = registry::ListChildren(session, key.id, &children);
    for (const KeyInfo& child : children) {
        if (status != ERROR_SUCCESS) break;
        if (HasLineBreak(child.name)) return ERROR_INVALID_DATA;
        status = ExportKey(session, child, path + "\\" + child.name, false, depth + 1, keys);
    }
    return status;
}

}  // namespace

LONG ImportRegText(const std::vector<RegTextKey>& keys, int* failed_line) {
    *failed_line = 0;
    try {
        Session session;
        LONG status = session.Begin(registry::Access::kWrite);
        if (status != ERROR_SUCCESS) return status;
        for (const RegTextKey& key : keys) {
            status = ApplyKey(session, key);
            if (status != ERROR_SUCCESS) {
                *failed_line = key.line;
                return status;  // the session rolls everything back
            }
        }
        return session.Commit();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

LONG ExportRegText(std::string_view key_path, std::vector<RegTextKey>* keys) {
    keys->clear();
    try {
        Session session;
        LONG status = session.Begin(registry::Access::kRead);
        if (status != ERROR_SUCCESS) return status;
        if (key_path.empty()) {
            for (std::uintptr_t root = 0x80000000u; root <= 0x80000003u; ++root) {
                HKEY handle = reinterpret_cast<HKEY>(root);
                KeyInfo key{RootId(handle), false, RootKeyName(handle)};
                status = ExportKey(session, key, key.name, true, 0, keys);
                if (status != ERROR_SUCCESS) return status;
            }
            return ERROR_SUCCESS;
        }
        std::int64_t root_id = 0;
        std::vector<std::string_view> parts;
        status = SplitFullPath(key_path, &root_id, &parts);
        if (status != ERROR_SUCCESS) return status;
        // The path is written with the names as they were created, whatever the case asked.
        HKEY root = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u + root_id - 1));
        KeyInfo key{root_id, false, RootKeyName(root)};
        std::string path = key.name;
        for (std::string_view part : parts) {
            status = registry::FindChild(session, key.id, part, &key);
            if (status != ERROR_SUCCESS) return status;
            path += "\\" + key.name;
        }
        return ExportKey(session, key, path, parts.empty(), 0, keys);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

}  // namespace cx::platform
