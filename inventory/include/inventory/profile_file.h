// ProfileFile: the one way the agent reads and writes an INI file (the inventory files and the
// table file), with its own result buffers and key walk, and FindKeyNumber for the writers.
#pragma once

#include "platform/windef.h"

class ProfileFile {
  public:
    ProfileFile() = default;
    ~ProfileFile();
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    // A path without any directory part gets "./" in front, so that it names the working
    // directory and nothing else. NULL clears the path.
    void SetPath(const char* path);
    // Usable afterwards when the file exists or `must_exist` is FALSE; TRUE when it exists.
    BOOL Open(BOOL must_exist);

    // The value, or `default_value` (NULL: "") when it is missing, does not fit into 64512
    // bytes or the file is not usable. The text stays valid until the next ReadString.
    const char* ReadString(const char* section, const char* key, const char* default_value);
    UINT ReadInt(const char* section, const char* key, int default_value);
    // NULL `key` deletes the section, NULL `value` the key.
    BOOL WriteString(const char* section, const char* key, const char* value);
    // Written unsigned: -1 becomes 4294967295.
    BOOL WriteInt(const char* section, const char* key, DWORD value);
    // Puts what was written on disk. FALSE (GetLastError tells why) when it cannot be, or when
    // a write since Open failed: what was not on disk yet is then given up, and the file is as
    // it is there.
    BOOL Flush();

    // The section's key names in file order; "" at the end, or when the file is not usable.
    const char* FirstKey(const char* section);
    const char* NextKey();

    // The number n of the first key "<key_prefix>.n" (n > 0, prefix without regard to case)
    // whose value equals `value` without regard to case; -1 when none does or an argument is
    // missing or `value` is empty. Uses the key walk.
    LONG FindKeyNumber(const char* section, const char* key_prefix, const char* value);

    const char* Path() const { return m_pszPath; }
    BOOL IsUsable() const { return m_bUsable; }

  private:
    BOOL ReadGrowing(char** buffer, DWORD* size, const char* section, const char* key,
                     const char* default_value);

    char* m_pszPath = nullptr;
    char* m_pValueBuffer = nullptr;
    char* m_pKeyListBuffer = nullptr;
    char* m_pKeyCursor = nullptr;
    DWORD m_dwValueBufferSize = 0;
    DWORD m_dwKeyListBufferSize = 0;
    BOOL m_bUsable = 0;
    DWORD m_dwWriteError = 0;  // the first write since Open that failed
};
