// File sink.
#include "file_sink.h"

#include <cstdio>

#include "platform/files.h"
#include "platform/handles.h"
#include "platform/synch.h"
#include "trace_line.h"

namespace cx::trace {
namespace {

// The trace file lies where others may write too (a log directory): it is never opened through
// a link put in its place, and a new one is for its owner and group only.
constexpr DWORD kFileFlags = FILE_ATTRIBUTE_NORMAL | CX_FILE_FLAG_PRIVATE;

void RotateIfFull(const char* path, DWORD limit) {
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, kFileFlags, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD size = GetFileSize(file, nullptr);
    CloseHandle(file);
    if (size == INVALID_FILE_SIZE || size < limit) return;
    char older[MAX_PATH + 8];
    std::snprintf(older, sizeof(older), "%s.txt", path);
    DeleteFileA(older);
    MoveFileA(path, older);
}

}  // namespace

BOOL AppendTraceText(HANDLE file, const char* text, size_t length) {
    char converted[2 * kLineCapacity];
    size_t used = 0;
    for (size_t i = 0; i < length && used + 2 <= sizeof(converted); ++i) {
        if (text[i] == '\n') converted[used++] = '\r';
        converted[used++] = text[i];
    }
    DWORD written = 0;
    return WriteFile(file, converted, static_cast<DWORD>(used), &written, nullptr);
}

void WriteToFile(const char* path, HANDLE mutex, DWORD limit, const char* text, size_t length) {
    if (*path == '\0') return;
    bool owned = false;
    if (mutex != nullptr) {
        DWORD waited = WaitForSingleObject(mutex, kFileMutexWait);
        owned = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    // Rotation renames and deletes files that other writers use: only a writer that holds the
    // mutex does it. One that waited in vain still writes, and the file grows a little past
    // its limit until the next rotation.
    if (limit != 0 && (owned || mutex == nullptr)) RotateIfFull(path, limit);
    // Opened for appending, every write lands whole at the end, even when two writers pass
    // the mutex by after a vain wait.
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, kFileFlags, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        AppendTraceText(file, text, length);
        CloseHandle(file);
    }
    if (owned) ReleaseMutex(mutex);
}

}  // namespace cx::trace
