// CFileVersionInfo: named strings ("CompanyName", "FileVersion", ...) from a file's version
// resource. Every query reads the resource from the file anew.
#pragma once

#include "platform/version.h"

class CFileVersionInfo {
  public:
    // Keeps a copy of `path` (may be NULL); touches no file.
    explicit CFileVersionInfo(const char* path = nullptr);
    ~CFileVersionInfo();
    CFileVersionInfo(const CFileVersionInfo&) = delete;
    CFileVersionInfo& operator=(const CFileVersionInfo&) = delete;

    // Releases the resource; Value becomes "" and ValueLength 0.
    void Free();

    // The size of the file's version resource, 0 on failure (traced).
    static DWORD GetVersionInfoSize(const char* path);
    // The resource into `buffer`; refuses a NULL buffer or a zero size.
    static BOOL GetVersionInfo(const char* path, void* buffer, DWORD size);
    // The translation of `*language` (0: the first one listed): sets both outputs and gives
    // TRUE, or FALSE when the resource lists none that matches.
    static BOOL ContainsLanguageId(const void* buffer, WORD* language, WORD* code_page);

    // Free(), then a buffer of the resource's size (not yet filled); TRUE when it exists.
    BOOL Load(const char* path);
    // The string `name` of the translation of `language` (0: the first one). Never NULL: ""
    // when anything fails, with LastError() telling why. A NULL path means the stored one.
    // The text stays valid until the next query or Free().
    const char* QueryValue(const char* path, const char* name, WORD language = 0,
                           WORD code_page = 0);
    // The language of the first translation, 0 when none; a NULL path means the stored one.
    WORD GetLanguage(const char* path = nullptr);

    const char* Path() const { return m_Path; }
    const char* Value() const { return m_Value; }
    UINT ValueLength() const { return m_ValueLength; }
    DWORD LastError() const { return m_LastError; }

  private:
    const char* PathOr(const char* path) const { return path != nullptr ? path : m_Path; }

    BYTE* m_Buffer = nullptr;
    DWORD m_BufferSize = 0;
    const char* m_Value;
    UINT m_ValueLength = 0;
    char* m_Path = nullptr;
    DWORD m_LastError = 0;
};
