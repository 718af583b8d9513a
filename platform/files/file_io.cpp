// Reading, writing, positioning and querying an open file handle.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "core/errno_map.h"
#include "files/file_facts.h"
#include "files/file_object.h"
#include "platform/eintr.h"
#include "platform/errors.h"
#include "platform/files.h"

namespace cx::platform {
namespace {

std::shared_ptr<FileObject> FileFromHandle(HANDLE handle) {
    auto file = LookupHandleAs<FileObject>(handle);
    if (!file) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// For the calls whose failure is a special value rather than FALSE.
DWORD FailWith(DWORD error, DWORD failure_value) {
    SetLastError(error);
    return failure_value;
}

// A descriptor opened without the access the call needs fails with EBADF: on Windows that is
// a handle without the right, not a bad handle.
DWORD IoError(int error_number) {
    if (error_number == EBADF) return ERROR_ACCESS_DENIED;
    if (error_number == ENOSPC || error_number == EDQUOT) return ERROR_DISK_FULL;
    return WinErrorFromErrno(error_number);
}

bool CurrentPosition(int fd, long long* position) {
    off_t current = lseek(fd, 0, SEEK_CUR);
    if (current < 0) return false;
    *position = current;
    return true;
}

}  // namespace
}  // namespace cx::platform

using namespace cx::platform;

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD to_read, LPDWORD read, LPVOID overlapped) {
    if (read != nullptr) *read = 0;
    auto object = FileFromHandle(file);
    if (!object) return FALSE;
    if (overlapped != nullptr || (buffer == nullptr && to_read > 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (!object->Readable()) return Fail(ERROR_ACCESS_DENIED);
    DWORD done = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (done < to_read) {
        ssize_t count = cx::RetryOnEintr(
            [&] { return ::read(object->Descriptor(), bytes + done, to_read - done); });
        if (count < 0) {
            if (read != nullptr) *read = done;
            return Fail(IoError(errno));
        }
        if (count == 0) break;  // end of file: success with what was read
        done += static_cast<DWORD>(count);
    }
    if (read != nullptr) *read = done;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD to_write, LPDWORD written, LPVOID overlapped) {
    if (written != nullptr) *written = 0;
    auto object = FileFromHandle(file);
    if (!object) return FALSE;
    if (overlapped != nullptr || (buffer == nullptr && to_write > 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (!object->Writable()) return Fail(ERROR_ACCESS_DENIED);
    DWORD done = 0;
    const auto* bytes = static_cast<const char*>(buffer);
    while (done < to_write) {
        ssize_t count = cx::RetryOnEintr(
            [&] { return ::write(object->Descriptor(), bytes + done, to_write - done); });
        if (count <= 0) {
            if (written != nullptr) *written = done;
            return Fail(count == 0 ? ERROR_DISK_FULL : IoError(errno));
        }
        done += static_cast<DWORD>(count);
    }
    if (written != nullptr) *written = done;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distance_high, DWORD method) {
    auto object = FileFromHandle(file);
    if (!object) return INVALID_SET_FILE_POINTER;
    int fd = object->Descriptor();
    // With a high part the two halves form one signed 64-bit distance; without, the low part
    // alone is signed.
    long long move = distance;
    if (distance_high != nullptr) {
        move = static_cast<long long>(
            (static_cast<ULONGLONG>(static_cast<DWORD>(*distance_high)) << 32) |
            static_cast<DWORD>(distance));
    }
    long long base = 0;
    struct stat info {};
    switch (method) {
        case FILE_BEGIN: break;
        case FILE_CURRENT:
            if (!CurrentPosition(fd, &base))
                return FailWith(IoError(errno), INVALID_SET_FILE_POINTER);
            break;
        case FILE_END:
            if (fstat(fd, &info) != 0) return FailWith(IoError(errno), INVALID_SET_FILE_POINTER);
            base = info.st_size;
            break;
        default: return FailWith(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    }
    if (move > 0 && base > INT64_MAX - move) {
        return FailWith(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    }
    long long target = base + move;
    if (target < 0) return FailWith(ERROR_NEGATIVE_SEEK, INVALID_SET_FILE_POINTER);
    // Without a high part the new position must fit in 32 bits; the position stays unchanged.
    if (distance_high == nullptr && target > 0xFFFFFFFFLL) {
        return FailWith(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    }
    if (lseek(fd, static_cast<off_t>(target), SEEK_SET) < 0) {
        return FailWith(IoError(errno), INVALID_SET_FILE_POINTER);
    }
    if (distance_high != nullptr) {
        *distance_high = static_cast<LONG>(static_cast<ULONGLONG>(target) >> 32);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(static_cast<ULONGLONG>(target));
}

DWORD GetFileSize(HANDLE file, LPDWORD size_high) {
    auto object = FileFromHandle(file);
    if (!object) return INVALID_FILE_SIZE;
    struct stat info {};
    if (fstat(object->Descriptor(), &info) != 0) {
        return FailWith(IoError(errno), INVALID_FILE_SIZE);
    }
    auto size = static_cast<ULONGLONG>(info.st_size);
    if (size_high != nullptr) *size_high = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL FlushFileBuffers(HANDLE file) {
    auto object = FileFromHandle(file);
    if (!object) return FALSE;
    if (!object->Writable()) return Fail(ERROR_ACCESS_DENIED);
    if (fsync(object->Descriptor()) != 0) return Fail(IoError(errno));
    return TRUE;
}

BOOL SetEndOfFile(HANDLE file) {
    auto object = FileFromHandle(file);
    if (!object) return FALSE;
    if (!object->Writable()) return Fail(ERROR_ACCESS_DENIED);
    long long position = 0;
    if (!CurrentPosition(object->Descriptor(), &position)) return Fail(IoError(errno));
    if (ftruncate(object->Descriptor(), static_cast<off_t>(position)) != 0) {
        return Fail(IoError(errno));
    }
    return TRUE;
}

BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME last_access, LPFILETIME last_write) {
    auto object = FileFromHandle(file);
    if (!object) return FALSE;
    FileFacts facts;
    if (!QueryFacts(object->Descriptor(), &facts)) return Fail(IoError(errno));
    if (creation != nullptr) *creation = facts.creation;
    if (last_access != nullptr) *last_access = facts.last_access;
    if (last_write != nullptr) *last_write = facts.last_write;
    return TRUE;
}
