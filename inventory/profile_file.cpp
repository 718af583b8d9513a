// ProfileFile: path rule, growing result buffers, key walk and FindKeyNumber.
#include "inventory/profile_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/ascii_case.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "platform/profile.h"

namespace {

constexpr DWORD kBufferStep = 1024;
constexpr DWORD kBufferLimit = 65536;  // buffers stay below this size: at most 64512 bytes

// The number after a key's prefix: decimal, greater than 0, with nothing after it; 0 else.
LONG KeyNumber(const char* digits) {
    char* end = nullptr;
    errno = 0;
    long number = std::strtol(digits, &end, 10);
    bool valid = end != digits && *end == '\0' && errno == 0 && number > 0 && number <= 0x7FFFFFFFL;
    return valid ? static_cast<LONG>(number) : 0;
}

}  // namespace

ProfileFile::~ProfileFile() {
    std::free(m_pszPath);
    std::free(m_pValueBuffer);
    std::free(m_pKeyListBuffer);
}

void ProfileFile::SetPath(const char* path) {
    std::free(m_pszPath);
    m_pszPath = nullptr;
    if (path == nullptr) return;
    bool has_directory = std::strpbrk(path, "\\/") != nullptr;
    size_t length = std::strlen(path) + (has_directory ? 1 : 3);
    m_pszPath = static_cast<char*>(std::malloc(length));
    if (m_pszPath != nullptr)
        std::snprintf(m_pszPath, length, "%s%s", has_directory ? "" : "./", path);
}

BOOL ProfileFile::Open(BOOL must_exist) {
    m_bUsable = 0;
    m_dwWriteError = ERROR_SUCCESS;
    if (m_pszPath == nullptr) return FALSE;
    HANDLE file = CreateFileA(m_pszPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    BOOL exists = file != INVALID_HANDLE_VALUE;
    if (exists) CloseHandle(file);
    m_bUsable = exists || !must_exist;
    return exists;
}

BOOL ProfileFile::ReadGrowing(char** buffer, DWORD* size, const char* section, const char* key,
                              const char* default_value) {
    if (*buffer == nullptr) {
        *buffer = static_cast<char*>(std::malloc(kBufferStep));
        *size = *buffer != nullptr ? kBufferStep : 0;
        if (*buffer == nullptr) return FALSE;
    }
    for (;;) {
        DWORD length =
            GetPrivateProfileStringA(section, key, default_value, *buffer, *size, m_pszPath);
        // size - 1 (a value) or size - 2 (a list) means the result may have been cut.
        if (length != *size - 1 && length != *size - 2) return TRUE;
        DWORD bigger = *size + kBufferStep;
        char* grown =
            bigger < kBufferLimit ? static_cast<char*>(std::realloc(*buffer, bigger)) : nullptr;
        if (grown == nullptr) {
            std::free(*buffer);
            *buffer = nullptr;
            *size = 0;
            return FALSE;
        }
        *buffer = grown;
        *size = bigger;
    }
}

const char* ProfileFile::ReadString(const char* section, const char* key,
                                    const char* default_value) {
    const char* fallback = default_value != nullptr ? default_value : "";
    if (!m_bUsable || m_pszPath == nullptr || section == nullptr) return fallback;
    if (!ReadGrowing(&m_pValueBuffer, &m_dwValueBufferSize, section, key, default_value)) {
        return fallback;
    }
    return m_pValueBuffer;
}

UINT ProfileFile::ReadInt(const char* section, const char* key, int default_value) {
    if (!m_bUsable || m_pszPath == nullptr || section == nullptr || key == nullptr) {
        return static_cast<UINT>(default_value);
    }
    return GetPrivateProfileIntA(section, key, default_value, m_pszPath);
}

BOOL ProfileFile::WriteString(const char* section, const char* key, const char* value) {
    if (!m_bUsable || m_pszPath == nullptr || section == nullptr) return FALSE;
    if (WritePrivateProfileStringA(section, key, value, m_pszPath)) return TRUE;
    if (m_dwWriteError == ERROR_SUCCESS) m_dwWriteError = GetLastError();
    return FALSE;
}

BOOL ProfileFile::WriteInt(const char* section, const char* key, DWORD value) {
    if (key == nullptr) return FALSE;
    char text[16];
    std::snprintf(text, sizeof(text), "%u", value);
    return WriteString(section, key, text);
}

BOOL ProfileFile::Flush() {
    if (!m_bUsable || m_pszPath == nullptr) return FALSE;
    // Nothing written and no file: nothing to put on disk either.
    const BOOL written = WritePrivateProfileStringA(nullptr, nullptr, nullptr, m_pszPath) ||
                         GetLastError() == ERROR_FILE_NOT_FOUND;
    if (m_dwWriteError == ERROR_SUCCESS) return written;
    SetLastError(m_dwWriteError);
    return FALSE;
}

const char* ProfileFile::FirstKey(const char* section) {
    m_pKeyCursor = nullptr;
    if (!m_bUsable || m_pszPath == nullptr || section == nullptr) return "";
    if (!ReadGrowing(&m_pKeyListBuffer, &m_dwKeyListBufferSize, section, nullptr, "")) return "";
    if (*m_pKeyListBuffer == '\0') return "";
    m_pKeyCursor = m_pKeyListBuffer;
    return m_pKeyCursor;
}

const char* ProfileFile::NextKey() {
    if (m_pKeyCursor == nullptr) return "";
    m_pKeyCursor += std::strlen(m_pKeyCursor) + 1;
    if (*m_pKeyCursor == '\0') {
        m_pKeyCursor = nullptr;
        return "";
    }
    return m_pKeyCursor;
}

LONG ProfileFile::FindKeyNumber(const char* section, const char* key_prefix, const char* value) {
    if (section == nullptr || key_prefix == nullptr || value == nullptr || *value == '\0') {
        return -1;
    }
    std::string prefix = std::string(key_prefix) + ".";
    for (const char* key = FirstKey(section); *key != '\0'; key = NextKey()) {
        if (!cx::StartsWithIgnoringCase(key, prefix)) continue;
        LONG number = KeyNumber(key + prefix.size());
        if (number <= 0) continue;
        const char* found = ReadString(section, key, "");
        if (cx::EqualsIgnoringCase(found, value)) return number;
    }
    return -1;
}
