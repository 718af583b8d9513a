// The inventory files by plain name in the data root: path, stream open and close, copy and
// delete, each traced.
#include <cerrno>
#include <cstdio>

#include "base/file_debug.h"
#include "inventory/cx_agent.h"
#include "platform/errors.h"
#include "platform/files.h"

BOOL CCX_Agent::MakeDataPath(const char* name, char* buffer, DWORD size) {
    const char* root = CSnmpAgent::m_szDataRoot;
    if (root[0] == '\0' || name == nullptr || buffer == nullptr || size == 0) return FALSE;
    int length = std::snprintf(buffer, size, "%s/%s", root, name);
    // A cut path would name another file.
    if (length < 0 || static_cast<DWORD>(length) >= size) {
        buffer[0] = '\0';
        return FALSE;
    }
    return TRUE;
}

FILE* CCX_Agent::OpenDataFile(const char* name, const char* mode) {
    char path[MAX_PATH];
    if (!MakeDataPath(name, path, sizeof(path))) return nullptr;
    FILE* stream = CxOpenStream(path, mode);
    if (stream == nullptr) {
        int error = errno;
        CX_TRACE(2, "\n!!! Cannot open file \"%s\" ERROR %d %s", path, error, CxErrnoText(error));
        return nullptr;
    }
    CX_TRACE(3, "\n   Opened %s \"%s\"", path, mode);
    return stream;
}

BOOL CCX_Agent::CloseDataFile(FILE* stream) {
    if (stream != nullptr) std::fclose(stream);
    return TRUE;
}

BOOL CCX_Agent::CopyDataFile(const char* source, const char* target, BOOL fail_if_exists) {
    char source_path[MAX_PATH];
    char target_path[MAX_PATH];
    if (!MakeDataPath(source, source_path, sizeof(source_path))) {
        CX_TRACE(1, "\nCannot locate %s", source);
        return FALSE;
    }
    if (!MakeDataPath(target, target_path, sizeof(target_path))) {
        CX_TRACE(1, "\nCannot locate %s", target);
        return FALSE;
    }
    if (!CopyFileA(source_path, target_path, fail_if_exists)) {
        const DWORD error = GetLastError();
        CX_TRACE(2, "\n!!! COPY FAILED %s -> %s (%d)", source, target, static_cast<int>(error));
        SetLastError(error);  // the caller's to report
        return FALSE;
    }
    CX_TRACE(3, "\n   Copied %s -> %s", source, target);
    return TRUE;
}

BOOL CCX_Agent::DeleteDataFile(const char* name) {
    char path[MAX_PATH];
    if (!MakeDataPath(name, path, sizeof(path))) {
        CX_TRACE(1, "\nCannot locate %s", name);
        return FALSE;
    }
    if (!DeleteFileA(path)) {
        CX_TRACE(2, "\n!!! DELETE FAILED %s (%d)", name, static_cast<int>(GetLastError()));
        return FALSE;
    }
    CX_TRACE(3, "\n   Deleted %s", name);
    return TRUE;
}
