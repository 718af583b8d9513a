// FindFirstCommunity: the first usable entry of the SNMP service's ValidCommunities, in the
// service's two forms (REG_DWORD rights under the community's name, or the name as text).
#include "clients/find_community.h"

#include <cstring>

#include "platform/winreg.h"
#include "snmp_mgr_trace.h"

namespace {

constexpr const char* kValidCommunitiesKey =
    "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ValidCommunities";
constexpr DWORD kEntrySize = 260;
// Rights that let a manager read: read only, read write, read create.
constexpr DWORD kReadOnly = 4;
constexpr DWORD kReadWrite = 8;
constexpr DWORD kReadCreate = 16;

bool ReadableRights(DWORD rights) {
    return rights == kReadOnly || rights == kReadWrite || rights == kReadCreate;
}

void CopyText(const char* text, std::size_t length, char* buffer, DWORD size) {
    const std::size_t kept = length < size - 1 ? length : size - 1;
    std::memcpy(buffer, text, kept);
    buffer[kept] = '\0';
}

}  // namespace

BOOL FindFirstCommunity(char* buffer, DWORD size) {
    if (buffer == nullptr || size == 0) return FALSE;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kValidCommunitiesKey, 0, KEY_READ | KEY_WOW64_64KEY,
                      &key) != ERROR_SUCCESS)
        return FALSE;
    BOOL found = FALSE;
    for (DWORD index = 0; !found; ++index) {
        char name[kEntrySize] = {};
        BYTE data[kEntrySize] = {};
        DWORD name_size = sizeof(name);
        DWORD data_size = sizeof(data);
        DWORD type = REG_NONE;
        if (RegEnumValueA(key, index, name, &name_size, nullptr, &type, data, &data_size) !=
            ERROR_SUCCESS)
            break;
        SNMPMGR_TRACE(5, "analyzing entry in list: %s", name);
        if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
            // Registry data need not be terminated; for a multi-string this is its first string.
            const auto* text = reinterpret_cast<const char*>(data);
            const std::size_t length = strnlen(text, data_size);
            if (length == 0) continue;  // an empty name is no community
            CopyText(text, length, buffer, size);
            SNMPMGR_TRACE(4, "REG_SZ: using community name: \"%s\"", buffer);
            found = TRUE;
        } else if (type == REG_DWORD && data_size == sizeof(DWORD)) {
            DWORD rights = 0;
            std::memcpy(&rights, data, sizeof(rights));
            SNMPMGR_TRACE(5, "integer value: %d", static_cast<int>(rights));
            if (!ReadableRights(rights)) continue;
            CopyText(name, std::strlen(name), buffer, size);
            SNMPMGR_TRACE(4, "REG_DWORD: using community name: \"%s\"", buffer);
            found = TRUE;
        }
    }
    RegCloseKey(key);
    return found;
}
