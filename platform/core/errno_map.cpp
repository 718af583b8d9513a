// errno -> Windows error code.
#include "core/errno_map.h"

#include <cerrno>

#include "platform/errors.h"

namespace cx::platform {

DWORD WinErrorFromErrno(int error_number) {
    switch (error_number) {
        case 0: return ERROR_SUCCESS;
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EMFILE:
        case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
        case EACCES:
        case EPERM:
        case EROFS: return ERROR_ACCESS_DENIED;
        case EBADF: return ERROR_INVALID_HANDLE;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case EEXIST: return ERROR_ALREADY_EXISTS;
        case EINVAL: return ERROR_INVALID_PARAMETER;
        case ENOSPC:
        case EDQUOT: return ERROR_DISK_FULL;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
        case EISDIR: return ERROR_DIRECTORY;
        case EBUSY: return ERROR_BUSY;
        case EAGAIN: return ERROR_LOCK_VIOLATION;
        case ETIMEDOUT: return ERROR_TIMEOUT;
        case EPIPE: return ERROR_BROKEN_PIPE;
        case ENOSYS:
        case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
        case EFAULT: return ERROR_NOACCESS;
        case EIO: return ERROR_GEN_FAILURE;
        case EXDEV: return ERROR_NOT_SAME_DEVICE;
        // A symbolic link where none may be (O_NOFOLLOW), or links that loop.
        case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
        default: return ERROR_GEN_FAILURE;
    }
}

DWORD SetLastErrorFromErrno() {
    DWORD error = WinErrorFromErrno(errno);
    SetLastError(error);
    return error;
}

}  // namespace cx::platform
