// CreateFileA: Windows dispositions and access on open(2).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "core/errno_map.h"
#include "files/file_access_hook.h"
#include "files/file_facts.h"
#include "files/file_object.h"
#include "platform/errors.h"
#include "platform/files.h"

namespace cx::platform {
namespace {

struct OpenRequest {
    int flags = O_CLOEXEC;
    mode_t mode = 0666;
    bool exact_mode = false;  // a new file gets `mode` whatever the umask
    bool readable = false;
    bool writable = false;
};

bool MakeRequest(DWORD access, DWORD disposition, DWORD flags, OpenRequest* request) {
    request->readable = (access & (GENERIC_READ | GENERIC_ALL)) != 0;
    request->writable = (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
    bool append_only = !request->writable && (access & FILE_APPEND_DATA) != 0;
    if (append_only) {
        request->writable = true;
        request->flags |= O_APPEND;
    }
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return false;
    if (disposition == TRUNCATE_EXISTING && !request->writable) return false;
    if (request->readable && request->writable) {
        request->flags |= O_RDWR;
    } else if (request->writable) {
        request->flags |= O_WRONLY;
    } else {
        request->flags |= O_RDONLY;
    }
    if ((flags & FILE_FLAG_WRITE_THROUGH) != 0) request->flags |= O_DSYNC;
    if ((flags & FILE_ATTRIBUTE_READONLY) != 0) request->mode = 0444;
    if ((flags & CX_FILE_FLAG_PRIVATE) != 0) {
        request->flags |= O_NOFOLLOW;
        request->mode &= kDataFileMode;
        request->exact_mode = true;
    }
    return true;
}

DWORD OpenError(int error_number, const char* name, bool must_exist) {
    if (error_number == ENOENT) return must_exist ? MissingPathError(name) : ERROR_PATH_NOT_FOUND;
    if (error_number == EEXIST) return ERROR_FILE_EXISTS;
    if (error_number == EISDIR) return ERROR_ACCESS_DENIED;
    return WinErrorFromErrno(error_number);
}

// Opens by disposition. `existed` tells whether the file was there before, which
// CREATE_ALWAYS and OPEN_ALWAYS report through the last error.
int OpenByDisposition(const char* name, const OpenRequest& request, DWORD disposition,
                      bool* existed, DWORD* error) {
    *existed = false;
    int flags = request.flags;
    switch (disposition) {
        case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
        case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
        case OPEN_EXISTING: break;
        default: {
            // CREATE_ALWAYS, OPEN_ALWAYS: create when missing, else open what is there. A file
            // deleted between the two attempts is simply tried again.
            for (int attempt = 0; attempt < 8; ++attempt) {
                int fd = open(name, flags | O_CREAT | O_EXCL, request.mode);
                if (fd >= 0 || errno != EEXIST) {
                    if (fd < 0) *error = OpenError(errno, name, false);
                    return fd;
                }
                int existing_flags = flags | (disposition == CREATE_ALWAYS ? O_TRUNC : 0);
                fd = open(name, existing_flags);
                if (fd >= 0 || errno != ENOENT) {
                    if (fd < 0) *error = OpenError(errno, name, false);
                    *existed = fd >= 0;
                    return fd;
                }
            }
            *error = ERROR_SHARING_VIOLATION;
            return -1;
        }
    }
    int fd = open(name, flags, request.mode);
    if (fd < 0) *error = OpenError(errno, name, disposition != CREATE_NEW);
    return fd;
}

}  // namespace
}  // namespace cx::platform

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE) {
    using namespace cx::platform;
    OpenRequest request;
    if (name == nullptr || !MakeRequest(access, disposition, flags, &request)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (*name == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    bool changes = request.writable || disposition == CREATE_ALWAYS;
    BeforeFileAccess(name, changes ? FileAccess::kChange : FileAccess::kRead);

    bool existed = false;
    DWORD error = ERROR_SUCCESS;
    int fd = OpenByDisposition(name, request, disposition, &existed, &error);
    if (fd < 0) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (request.exact_mode && !existed && disposition != OPEN_EXISTING &&
        disposition != TRUNCATE_EXISTING) {
        fchmod(fd, request.mode);  // created here: the umask does not decide who may read it
    }
    HANDLE handle =
        InsertHandle(std::make_shared<FileObject>(fd, request.readable, request.writable));
    bool reports_existing = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    SetLastError(reports_existing && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}
