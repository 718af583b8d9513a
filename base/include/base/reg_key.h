// RegKey: one registry key held open, with the result, type and size of its last call, and
// ReadRegString for a single value.
//
// Every call is guarded: an exception inside one leaves -1 as the result instead of ending
// the process (on Windows the guard caught access violations; on Linux those are kept out by
// the sanitizer builds and fuzzing, and the guard catches C++ exceptions).
#pragma once

#include "platform/winreg.h"

// The 64-bit registry view, retried without when it is refused.
constexpr REGSAM kRegKey64BitView = 0x100;
// Read access in the 64-bit view, as ReadRegString opens its key.
constexpr REGSAM kRegKeyRead64 = 0x20119;

class RegKey {
  public:
    RegKey() = default;
    ~RegKey();
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // Opens sub_key below `root`, or below the open key when there is one (which the new key
    // then replaces).
    LONG Open(LPCSTR sub_key, HKEY root = HKEY_LOCAL_MACHINE, REGSAM access = KEY_ALL_ACCESS);
    // Opens or creates sub_key below `root` (NULL: below the open key); the key open before
    // is closed afterwards.
    LONG Create(LPCSTR sub_key, HKEY root = HKEY_LOCAL_MACHINE,
                DWORD options = REG_OPTION_NON_VOLATILE, REGSAM access = KEY_ALL_ACCESS);
    // Reads a value into `buffer` (*size bytes; on return the size read). A shorter value is
    // terminated with a NUL; REG_EXPAND_SZ comes back expanded when the expansion fits.
    LONG QueryRegValue(LPCSTR name, LPBYTE buffer, LPDWORD size, HKEY key = nullptr);
    LONG QueryDword(LPCSTR name, LPDWORD value, HKEY key = nullptr);
    // The name of the open key's subkey number `index` (RegEnumKeyExA): *size characters on
    // entry, the name's length on return; ERROR_NO_MORE_ITEMS after the last.
    LONG EnumKey(DWORD index, LPSTR name, LPDWORD size);
    LONG SetDword(LPCSTR name, DWORD value);
    LONG SetString(LPCSTR name, LPCSTR text);
    BOOL Close();

    HKEY Key() const { return m_hKey; }

    LONG m_lResult = ERROR_INVALID_HANDLE;  // system error code; -1 after a fault inside a call
    DWORD m_dwSize = 0;                     // size of the last value read
    DWORD m_dwType = REG_NONE;              // type of the last value read
    HKEY m_hKey = nullptr;
};

// Reads the value `value_name` of HKEY_LOCAL_MACHINE\key_path (read access, 64-bit view).
// TRUE when it was read.
BOOL ReadRegString(LPCSTR key_path, LPCSTR value_name, LPSTR buffer, DWORD size);
