// The Reg* calls: key handles over the store, with the Windows contracts for paths, access
// rights, buffers and error codes.
#include <cstring>
#include <new>

#include "core/handle_table.h"
#include "platform/winreg.h"
#include "registry/guarded.h"
#include "registry/key_path.h"
#include "registry/key_tree.h"
#include "registry/store.h"

namespace cx::platform::registry {
namespace {

constexpr REGSAM kGenericRead = 0x80000000u;
constexpr REGSAM kGenericWrite = 0x40000000u;
constexpr REGSAM kGenericExecute = 0x20000000u;
constexpr REGSAM kGenericAll = 0x10000000u;
constexpr REGSAM kMaximumAllowed = 0x02000000u;

// An open key: the key's id in the store generation it was opened in, and the rights asked for.
class RegistryKey : public KernelObject {
  public:
    RegistryKey(std::int64_t id, REGSAM access, std::uint64_t generation)
        : id_(id), access_(access), generation_(generation) {}
    std::int64_t Id() const { return id_; }
    REGSAM Access() const { return access_; }
    std::uint64_t Generation() const { return generation_; }

  private:
    const std::int64_t id_;
    const REGSAM access_;
    const std::uint64_t generation_;
};

struct OpenKey {
    std::int64_t id = 0;
    REGSAM access = 0;
    std::uint64_t generation = 0;
    bool predefined = false;
};

std::int64_t PredefinedKeyId(HKEY key) {
    // Only the low 32 bits name a predefined key, as on 64-bit Windows.
    switch (static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(key))) {
        case 0x80000000u: return kClassesRootId;
        case 0x80000001u: return kCurrentUserId;
        case 0x80000002u: return kLocalMachineId;
        case 0x80000003u: return kUsersId;
        default: return 0;
    }
}

LONG Resolve(HKEY key, OpenKey* open) {
    if (std::int64_t root = PredefinedKeyId(key); root != 0) {
        *open = OpenKey{root, KEY_ALL_ACCESS, 0, true};
        return ERROR_SUCCESS;
    }
    auto object = LookupHandleAs<RegistryKey>(key);
    if (object == nullptr) return ERROR_INVALID_HANDLE;
    *open = OpenKey{object->Id(), object->Access(), object->Generation(), false};
    return ERROR_SUCCESS;
}

// A key opened before the process switched to another store file is gone with that file.
LONG CheckGeneration(const OpenKey& key, const Session& session) {
    if (key.predefined || key.generation == session.Generation()) return ERROR_SUCCESS;
    return ERROR_KEY_DELETED;
}

// Begins a session and makes sure `key` still exists in it.
LONG BeginOn(Session& session, Access access, const OpenKey& key) {
    LONG status = session.Begin(access);
    if (status == ERROR_SUCCESS) status = CheckGeneration(key, session);
    bool is_volatile = false;
    if (status == ERROR_SUCCESS) status = CheckKeyAlive(session, key.id, &is_volatile);
    return status;
}

REGSAM GrantedAccess(REGSAM requested) {
    REGSAM granted = requested & 0x000F003Fu;
    if (requested & kGenericRead) granted |= KEY_READ;
    if (requested & kGenericWrite) granted |= KEY_WRITE;
    if (requested & kGenericExecute) granted |= KEY_EXECUTE;
    if (requested & (kGenericAll | kMaximumAllowed)) granted |= KEY_ALL_ACCESS;
    return granted;
}

HKEY NewHandle(std::int64_t id, REGSAM access, std::uint64_t generation) {
    HANDLE handle =
        InsertHandle(std::make_shared<RegistryKey>(id, GrantedAccess(access), generation));
    return static_cast<HKEY>(handle);
}

std::string_view ValueName(LPCSTR name) { return name != nullptr ? name : ""; }

LSTATUS OpenKeyEx(HKEY key, LPCSTR sub_key, REGSAM access, PHKEY result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    OpenKey base;
    LONG status = Resolve(key, &base);
    if (status != ERROR_SUCCESS) return status;
    *result = nullptr;
    if ((sub_key == nullptr || sub_key[0] == '\0') && base.predefined) {
        *result = key;
        return ERROR_SUCCESS;
    }
    std::vector<std::string_view> parts;
    status = SplitKeyPath(ValueName(sub_key), &parts);
    if (status != ERROR_SUCCESS) return status;
    Session session;
    status = session.Begin(Access::kRead);
    if (status == ERROR_SUCCESS) status = CheckGeneration(base, session);
    KeyInfo found;
    if (status == ERROR_SUCCESS) status = ResolvePath(session, base.id, parts, &found);
    if (status != ERROR_SUCCESS) return status;
    *result = NewHandle(found.id, access, session.Generation());
    return ERROR_SUCCESS;
}

LSTATUS CreateKeyEx(HKEY key, LPCSTR sub_key, DWORD options, REGSAM access, PHKEY result,
                    LPDWORD disposition) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    OpenKey base;
    LONG status = Resolve(key, &base);
    if (status != ERROR_SUCCESS) return status;
    *result = nullptr;
    if ((options & ~(REG_OPTION_VOLATILE | REG_OPTION_BACKUP_RESTORE | REG_OPTION_OPEN_LINK)) != 0)
        return ERROR_INVALID_PARAMETER;
    std::vector<std::string_view> parts;
    status = SplitKeyPath(ValueName(sub_key), &parts);
    if (status != ERROR_SUCCESS) return status;

    // Most creations find the key in place: look first, without the write lock.
    KeyInfo found;
    {
        Session session;
        status = session.Begin(Access::kRead);
        if (status == ERROR_SUCCESS) status = CheckGeneration(base, session);
        if (status == ERROR_SUCCESS) status = ResolvePath(session, base.id, parts, &found);
        if (status == ERROR_SUCCESS) {
            *result = NewHandle(found.id, access, session.Generation());
            if (disposition != nullptr) *disposition = REG_OPENED_EXISTING_KEY;
            return ERROR_SUCCESS;
        }
        if (status != ERROR_FILE_NOT_FOUND) return status;
    }
    Session session;
    status = session.Begin(Access::kWrite);
    if (status == ERROR_SUCCESS) status = CheckGeneration(base, session);
    bool created = false;
    if (status == ERROR_SUCCESS)
        status = CreateKeyPath(session, base.id, parts, (options & REG_OPTION_VOLATILE) != 0,
                               &found, &created);
    if (status == ERROR_SUCCESS) status = session.Commit();
    if (status != ERROR_SUCCESS) return status;
    *result = NewHandle(found.id, access, session.Generation());
    if (disposition != nullptr)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LSTATUS QueryValueEx(HKEY key, LPCSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                     LPDWORD data_size) {
    OpenKey open;
    LONG status = Resolve(key, &open);
    if (status != ERROR_SUCCESS) return status;
    if (reserved != nullptr || (data != nullptr && data_size == nullptr))
        return ERROR_INVALID_PARAMETER;
    if ((open.access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
    Session session;
    status = BeginOn(session, Access::kRead, open);
    DWORD value_type = 0;
    std::string bytes;
    if (status == ERROR_SUCCESS)
        status = GetValue(session, open.id, ValueName(value_name), &value_type, &bytes);
    if (status != ERROR_SUCCESS) return status;
    if (type != nullptr) *type = value_type;
    DWORD needed = static_cast<DWORD>(bytes.size());
    if (data != nullptr) {
        if (*data_size < needed) {
            *data_size = needed;
            return ERROR_MORE_DATA;
        }
        std::memcpy(data, bytes.data(), bytes.size());
    }
    if (data_size != nullptr) *data_size = needed;
    return ERROR_SUCCESS;
}

LSTATUS SetValueEx(HKEY key, LPCSTR value_name, DWORD type, const BYTE* data, DWORD data_size) {
    OpenKey open;
    LONG status = Resolve(key, &open);
    if (status != ERROR_SUCCESS) return status;
    if ((open.access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    if (data == nullptr && data_size != 0) return ERROR_NOACCESS;
    std::string_view name = ValueName(value_name);
    if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
    Session session;
    status = BeginOn(session, Access::kWrite, open);
    if (status == ERROR_SUCCESS)
        status = PutValue(session, open.id, name, type,
                          std::string_view(reinterpret_cast<const char*>(data), data_size));
    if (status == ERROR_SUCCESS) status = session.Commit();
    return status;
}

LSTATUS EnumValue(HKEY key, DWORD index, LPSTR value_name, LPDWORD value_name_size,
                  LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD data_size) {
    OpenKey open;
    LONG status = Resolve(key, &open);
    if (status != ERROR_SUCCESS) return status;
    if (value_name == nullptr || value_name_size == nullptr || reserved != nullptr ||
        (data != nullptr && data_size == nullptr))
        return ERROR_INVALID_PARAMETER;
    if ((open.access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
    Session session;
    status = BeginOn(session, Access::kRead, open);
    ValueRecord value;
    if (status == ERROR_SUCCESS) status = ValueAt(session, open.id, index, &value);
    if (status != ERROR_SUCCESS) return status;
    if (type != nullptr) *type = value.type;
    DWORD needed = static_cast<DWORD>(value.data.size());
    // Either buffer too small: neither name nor data is written, only the sizes told.
    bool name_fits = value.name.size() < *value_name_size;
    bool data_fits = data == nullptr || needed <= *data_size;
    if (data_size != nullptr) *data_size = needed;
    if (!name_fits || !data_fits) return ERROR_MORE_DATA;
    std::memcpy(value_name, value.name.c_str(), value.name.size() + 1);
    *value_name_size = static_cast<DWORD>(value.name.size());
    if (data != nullptr) std::memcpy(data, value.data.data(), value.data.size());
    return ERROR_SUCCESS;
}

LSTATUS EnumKeyEx(HKEY key, DWORD index, LPSTR name, LPDWORD name_size, LPDWORD reserved,
                  LPSTR class_name, LPDWORD class_size, PFILETIME last_write_time) {
    OpenKey open;
    LONG status = Resolve(key, &open);
    if (status != ERROR_SUCCESS) return status;
    if (name == nullptr || name_size == nullptr || reserved != nullptr)
        return ERROR_INVALID_PARAMETER;
    if ((open.access & KEY_ENUMERATE_SUB_KEYS) == 0) return ERROR_ACCESS_DENIED;
    Session session;
    status = BeginOn(session, Access::kRead, open);
    std::string child;
    std::int64_t written = 0;
    if (status == ERROR_SUCCESS) status = ChildAt(session, open.id, index, &child, &written);
    if (status != ERROR_SUCCESS) return status;
    if (child.size() >= *name_size) return ERROR_MORE_DATA;
    std::memcpy(name, child.c_str(), child.size() + 1);
    *name_size = static_cast<DWORD>(child.size());
    // Keys have no class here.
    if (class_size != nullptr) {
        if (class_name != nullptr && *class_size > 0) class_name[0] = '\0';
        *class_size = 0;
    }
    if (last_write_time != nullptr) {
        last_write_time->dwLowDateTime = static_cast<DWORD>(written);
        last_write_time->dwHighDateTime = static_cast<DWORD>(written >> 32);
    }
    return ERROR_SUCCESS;
}

LSTATUS DeleteValue(HKEY key, LPCSTR value_name) {
    OpenKey open;
    LONG status = Resolve(key, &open);
    if (status != ERROR_SUCCESS) return status;
    if ((open.access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    Session session;
    status = BeginOn(session, Access::kWrite, open);
    if (status == ERROR_SUCCESS) status = RemoveValue(session, open.id, ValueName(value_name));
    if (status == ERROR_SUCCESS) status = session.Commit();
    return status;
}

LSTATUS DeleteKey(HKEY key, LPCSTR sub_key) {
    OpenKey base;
    LONG status = Resolve(key, &base);
    if (status != ERROR_SUCCESS) return status;
    if (sub_key == nullptr) return ERROR_INVALID_PARAMETER;
    std::vector<std::string_view> parts;
    status = SplitKeyPath(sub_key, &parts);
    if (status != ERROR_SUCCESS) return status;
    Session session;
    status = session.Begin(Access::kWrite);
    if (status == ERROR_SUCCESS) status = CheckGeneration(base, session);
    KeyInfo target;
    if (status == ERROR_SUCCESS) status = ResolvePath(session, base.id, parts, &target);
    if (status != ERROR_SUCCESS) return status;
    if (target.id <= kLastRootId) return ERROR_ACCESS_DENIED;
    bool has_child = false;
    status = HasVisibleChild(session, target.id, &has_child);
    if (status != ERROR_SUCCESS) return status;
    if (has_child) return ERROR_ACCESS_DENIED;
    status = DeleteTree(session.Db(), target.id);
    if (status == ERROR_SUCCESS) status = session.Commit();
    return status;
}

LSTATUS DeleteKeyTree(HKEY key, LPCSTR sub_key) {
    OpenKey base;
    LONG status = Resolve(key, &base);
    if (status != ERROR_SUCCESS) return status;
    // Emptying the open key itself works through its own rights.
    constexpr REGSAM kEmptyingRights = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS;
    if (sub_key == nullptr && (base.access & kEmptyingRights) != kEmptyingRights)
        return ERROR_ACCESS_DENIED;
    std::vector<std::string_view> parts;
    status = SplitKeyPath(ValueName(sub_key), &parts);
    if (status != ERROR_SUCCESS) return status;
    Session session;
    status = session.Begin(Access::kWrite);
    if (status == ERROR_SUCCESS) status = CheckGeneration(base, session);
    KeyInfo target;
    if (status == ERROR_SUCCESS) status = ResolvePath(session, base.id, parts, &target);
    if (status != ERROR_SUCCESS) return status;
    if (sub_key != nullptr) {
        if (target.id <= kLastRootId) return ERROR_ACCESS_DENIED;
        status = registry::DeleteTree(session.Db(), target.id);
    } else {
        std::vector<KeyInfo> children;
        status = ListChildren(session, target.id, &children);
        for (const KeyInfo& child : children) {
            if (status == ERROR_SUCCESS) status = registry::DeleteTree(session.Db(), child.id);
        }
        if (status == ERROR_SUCCESS) status = RemoveAllValues(session, target.id);
        if (status == ERROR_SUCCESS) status = TouchKey(session, target.id);
    }
    if (status == ERROR_SUCCESS) status = session.Commit();
    return status;
}

LSTATUS CloseKey(HKEY key) {
    if (PredefinedKeyId(key) != 0) return ERROR_SUCCESS;
    if (LookupHandleAs<RegistryKey>(key) == nullptr || !RemoveHandle(key))
        return ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}

}  // namespace
}  // namespace cx::platform::registry

namespace reg = cx::platform::registry;

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD, REGSAM access, PHKEY result) {
    return reg::Guarded([&] { return reg::OpenKeyEx(key, sub_key, access, result); });
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR sub_key, DWORD, LPSTR, DWORD options, REGSAM access,
                        LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    return reg::Guarded(
        [&] { return reg::CreateKeyEx(key, sub_key, options, access, result, disposition); });
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD data_size) {
    return reg::Guarded(
        [&] { return reg::QueryValueEx(key, value_name, reserved, type, data, data_size); });
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR value_name, DWORD, DWORD type, const BYTE* data,
                       DWORD data_size) {
    return reg::Guarded([&] { return reg::SetValueEx(key, value_name, type, data, data_size); });
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR value_name, LPDWORD value_name_size,
                      LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD data_size) {
    return reg::Guarded([&] {
        return reg::EnumValue(key, index, value_name, value_name_size, reserved, type, data,
                              data_size);
    });
}

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_size, LPDWORD reserved,
                      LPSTR class_name, LPDWORD class_size, PFILETIME last_write_time) {
    return reg::Guarded([&] {
        return reg::EnumKeyEx(key, index, name, name_size, reserved, class_name, class_size,
                              last_write_time);
    });
}

LSTATUS RegDeleteValueA(HKEY key, LPCSTR value_name) {
    return reg::Guarded([&] { return reg::DeleteValue(key, value_name); });
}

LSTATUS RegDeleteKeyA(HKEY key, LPCSTR sub_key) {
    return reg::Guarded([&] { return reg::DeleteKey(key, sub_key); });
}

LSTATUS RegDeleteTreeA(HKEY key, LPCSTR sub_key) {
    return reg::Guarded([&] { return reg::DeleteKeyTree(key, sub_key); });
}

LSTATUS RegCloseKey(HKEY key) {
    return reg::Guarded([&] { return reg::CloseKey(key); });
}
