// CFileVersionInfo over the version calls, with the one-call retry with file-system
// redirection off when a 32-bit process does not find a file.
#include "base/file_version_info.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "base/file_debug.h"
#include "platform/errors.h"

namespace {

const char kEmpty[] = "";

// Runs `call` once more with redirection switched off, when the system offers the switch.
// The last error of the failed call survives a switch that is not there.
template <class Call>
BOOL RetryWithoutRedirection(Call call) {
    DWORD error = GetLastError();
    PVOID old_value = nullptr;
    if (!Wow64DisableWow64FsRedirection(&old_value)) {
        SetLastError(error);
        return FALSE;
    }
    CX_TRACE(3, "\n                    : System file redirection switched off");
    BOOL result = call();
    error = GetLastError();
    if (Wow64RevertWow64FsRedirection(old_value)) {
        CX_TRACE(3, "\n                    : System file redirection reverted to value before");
    } else {
        CX_TRACE(1,
                 "\n                    : ERROR! System file redirection could not be reverted "
                 "to value before");
    }
    SetLastError(error);
    return result;
}

}  // namespace

CFileVersionInfo::CFileVersionInfo(const char* path) : m_Value(kEmpty) {
    if (path != nullptr) m_Path = strdup(path);
}

CFileVersionInfo::~CFileVersionInfo() {
    Free();
    std::free(m_Path);
}

void CFileVersionInfo::Free() {
    delete[] m_Buffer;
    m_Buffer = nullptr;
    m_BufferSize = 0;
    m_Value = kEmpty;
    m_ValueLength = 0;
}

DWORD CFileVersionInfo::GetVersionInfoSize(const char* path) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0 && GetLastError() == ERROR_FILE_NOT_FOUND) {
        RetryWithoutRedirection([&] {
            size = GetFileVersionInfoSizeA(path, &handle);
            return size != 0 ? TRUE : FALSE;
        });
    }
    if (size == 0) {
        CX_TRACE(1, "\n                    : ERROR 0x%X! GetFileVersionInfoSize() (\"%s\") FAILED!",
                 GetLastError(), path != nullptr ? path : "");
    }
    return size;
}

BOOL CFileVersionInfo::GetVersionInfo(const char* path, void* buffer, DWORD size) {
    if (buffer == nullptr || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (GetFileVersionInfoA(path, 0, size, buffer)) return TRUE;
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return FALSE;
    return RetryWithoutRedirection([&] {
        BOOL result = GetFileVersionInfoA(path, 0, size, buffer);
        if (!result) {
            CX_TRACE(1, "\n                    : ERROR 0x%X! GetFileVersionInfo() FAILED!",
                     GetLastError());
        }
        return result;
    });
}

BOOL CFileVersionInfo::ContainsLanguageId(const void* buffer, WORD* language, WORD* code_page) {
    if (buffer == nullptr || language == nullptr || code_page == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LPVOID pairs = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(buffer, "\\VarFileInfo\\Translation", &pairs, &length)) return FALSE;
    const auto* words = static_cast<const BYTE*>(pairs);
    for (UINT i = 0; i + 4 <= length; i += 4) {
        WORD pair_language = static_cast<WORD>(words[i] | words[i + 1] << 8);
        WORD pair_code_page = static_cast<WORD>(words[i + 2] | words[i + 3] << 8);
        if (*language == 0 || *language == pair_language) {
            *language = pair_language;
            *code_page = pair_code_page;
            return TRUE;
        }
    }
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
}

BOOL CFileVersionInfo::Load(const char* path) {
    Free();
    DWORD size = GetVersionInfoSize(path);
    if (size == 0) return FALSE;
    m_Buffer = new (std::nothrow) BYTE[size];
    if (m_Buffer == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    m_BufferSize = size;
    return TRUE;
}

const char* CFileVersionInfo::QueryValue(const char* path, const char* name, WORD language,
                                         WORD code_page) {
    path = PathOr(path);
    m_Value = kEmpty;
    m_ValueLength = 0;
    if (name != nullptr && Load(path)) {
        if (!GetVersionInfo(path, m_Buffer, m_BufferSize)) {
            CX_TRACE(1, "\n                    : ERROR 0x%X! GetVersionInfo() FAILED!",
                     GetLastError());
        } else if (!ContainsLanguageId(m_Buffer, &language, &code_page)) {
            CX_TRACE(1, "\n                    : ERROR 0x%X! ContainsLanguageId() FAILED!",
                     GetLastError());
        } else {
            char table[32];
            std::snprintf(table, sizeof(table), "\\StringFileInfo\\%04X%04X\\", language,
                          code_page);
            std::string sub_block = std::string(table) + name;
            LPVOID value = nullptr;
            UINT length = 0;
            if (VerQueryValueA(m_Buffer, sub_block.c_str(), &value, &length)) {
                m_Value = static_cast<const char*>(value);
                m_ValueLength = length;
                m_LastError = 0;
                return m_Value;
            }
        }
    } else if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
    }
    m_LastError = GetLastError();
    return m_Value;
}

WORD CFileVersionInfo::GetLanguage(const char* path) {
    path = PathOr(path);
    WORD language = 0;
    WORD code_page = 0;
    if (Load(path) && GetVersionInfo(path, m_Buffer, m_BufferSize) &&
        ContainsLanguageId(m_Buffer, &language, &code_page)) {
        m_LastError = 0;
        return language;
    }
    m_LastError = GetLastError();
    return 0;
}
