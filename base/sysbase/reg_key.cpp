// RegKey and ReadRegString.
#include "base/reg_key.h"

#include <cstring>
#include <string>

namespace {

// The expansion of a REG_EXPAND_SZ value is built here before it goes back to the caller.
constexpr DWORD kExpandWorkSize = 520;

// Runs one registry call; an exception inside it becomes the result -1.
template <class Call>
LONG Guarded(RegKey& key, Call&& call) {
    try {
        key.m_lResult = call();
    } catch (...) {
        key.m_lResult = -1;
    }
    return key.m_lResult;
}

// Asks once more without the 64-bit view when the system refuses it.
template <class Call>
LONG WithViewRetry(REGSAM access, Call&& call) {
    LONG result = call(access);
    if (result == ERROR_ACCESS_DENIED && (access & kRegKey64BitView) != 0)
        result = call(access & ~kRegKey64BitView);
    return result;
}

}  // namespace

RegKey::~RegKey() { Close(); }

LONG RegKey::Open(LPCSTR sub_key, HKEY root, REGSAM access) {
    return Guarded(*this, [&] {
        HKEY base = m_hKey != nullptr ? m_hKey : root;
        HKEY opened = nullptr;
        LONG result = WithViewRetry(
            access, [&](REGSAM mask) { return RegOpenKeyExA(base, sub_key, 0, mask, &opened); });
        if (result == ERROR_SUCCESS) {
            if (m_hKey != nullptr) RegCloseKey(m_hKey);
            m_hKey = opened;
        }
        return result;
    });
}

LONG RegKey::Create(LPCSTR sub_key, HKEY root, DWORD options, REGSAM access) {
    return Guarded(*this, [&] {
        HKEY base = root != nullptr ? root : m_hKey;
        HKEY created = nullptr;
        LONG result = WithViewRetry(access, [&](REGSAM mask) {
            DWORD disposition = 0;
            return RegCreateKeyExA(base, sub_key, 0, nullptr, options, mask, nullptr, &created,
                                   &disposition);
        });
        // The key open before is closed whatever the outcome, so that a failed create never
        // leaves later writes going to the parent.
        if (m_hKey != nullptr) RegCloseKey(m_hKey);
        m_hKey = result == ERROR_SUCCESS ? created : nullptr;
        return result;
    });
}

LONG RegKey::QueryRegValue(LPCSTR name, LPBYTE buffer, LPDWORD size, HKEY key) {
    return Guarded(*this, [&]() -> LONG {
        if (buffer == nullptr || size == nullptr) return ERROR_INVALID_PARAMETER;
        DWORD capacity = *size;
        LONG result =
            RegQueryValueExA(key != nullptr ? key : m_hKey, name, nullptr, &m_dwType, buffer, size);
        m_dwSize = *size;
        if (result != ERROR_SUCCESS) return result;
        if (*size < capacity) buffer[*size] = '\0';
        if (m_dwType != REG_EXPAND_SZ) return result;
        // The stored text need not end in a NUL; never read past what was stored.
        std::string stored(reinterpret_cast<const char*>(buffer),
                           strnlen(reinterpret_cast<const char*>(buffer), *size));
        char expanded[kExpandWorkSize];
        DWORD needed = ExpandEnvironmentStringsA(stored.c_str(), expanded, sizeof(expanded));
        if (needed == 0 || needed > sizeof(expanded) || needed > capacity) return ERROR_MORE_DATA;
        std::memcpy(buffer, expanded, needed);
        *size = needed;
        m_dwSize = needed;
        return result;
    });
}

LONG RegKey::QueryDword(LPCSTR name, LPDWORD value, HKEY key) {
    return Guarded(*this, [&]() -> LONG {
        DWORD size = sizeof(DWORD);
        LONG result = RegQueryValueExA(key != nullptr ? key : m_hKey, name, nullptr, &m_dwType,
                                       reinterpret_cast<LPBYTE>(value), &size);
        m_dwSize = size;
        return result;
    });
}

LONG RegKey::EnumKey(DWORD index, LPSTR name, LPDWORD size) {
    return Guarded(*this, [&] {
        return RegEnumKeyExA(m_hKey, index, name, size, nullptr, nullptr, nullptr, nullptr);
    });
}

LONG RegKey::SetDword(LPCSTR name, DWORD value) {
    return Guarded(*this, [&] {
        return RegSetValueExA(m_hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                              sizeof(value));
    });
}

LONG RegKey::SetString(LPCSTR name, LPCSTR text) {
    return Guarded(*this, [&]() -> LONG {
        // The original call faulted on a NULL text; the guard's answer is kept.
        if (text == nullptr) return -1;
        return RegSetValueExA(m_hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                              static_cast<DWORD>(std::strlen(text) + 1));
    });
}

BOOL RegKey::Close() {
    if (m_hKey == nullptr) return FALSE;
    Guarded(*this, [&] { return RegCloseKey(m_hKey); });
    m_hKey = nullptr;
    BOOL closed = m_lResult == ERROR_SUCCESS ? TRUE : FALSE;
    m_lResult = ERROR_INVALID_HANDLE;
    return closed;
}

BOOL ReadRegString(LPCSTR key_path, LPCSTR value_name, LPSTR buffer, DWORD size) {
    RegKey key;
    if (key.Open(key_path, HKEY_LOCAL_MACHINE, kRegKeyRead64) != ERROR_SUCCESS) return FALSE;
    LONG result = key.QueryRegValue(value_name, reinterpret_cast<LPBYTE>(buffer), &size);
    key.Close();
    return result == ERROR_SUCCESS ? TRUE : FALSE;
}
