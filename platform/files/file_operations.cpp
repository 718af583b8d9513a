// Whole-file operations by name: delete, copy, replace, move, attributes, directory creation.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "core/errno_map.h"
#include "files/file_access_hook.h"
#include "files/file_copy.h"
#include "files/file_facts.h"
#include "files/replacement_file.h"
#include "platform/errors.h"
#include "platform/files.h"

namespace cx::platform {
namespace {

BOOL Finish(DWORD error) {
    SetLastError(error);
    return error == ERROR_SUCCESS ? TRUE : FALSE;
}

// NULL is a caller's mistake; an empty name names nothing that can be found.
bool CheckName(LPCSTR name, DWORD* error) {
    if (name == nullptr) {
        *error = ERROR_INVALID_PARAMETER;
        return false;
    }
    if (*name == '\0') {
        *error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    return true;
}

DWORD SyncDirectoryOf(const char* path) {
    std::string directory = ParentDirectory(path);
    int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return WinErrorFromErrno(errno);
    int result = fsync(fd);
    close(fd);
    return result == 0 ? ERROR_SUCCESS : WinErrorFromErrno(errno);
}

DWORD RenameError(int error_number, const char* existing) {
    switch (error_number) {
        case ENOENT:
            // Either side may be what is missing.
            return access(existing, F_OK) != 0 ? MissingPathError(existing) : ERROR_PATH_NOT_FOUND;
        case EEXIST:
        case ENOTEMPTY: return ERROR_ALREADY_EXISTS;
        case EISDIR: return ERROR_ACCESS_DENIED;
        default: return WinErrorFromErrno(error_number);
    }
}

DWORD Move(LPCSTR existing, LPCSTR new_name, DWORD flags) {
    struct stat source {};
    if (lstat(existing, &source) != 0) {
        return errno == ENOENT ? MissingPathError(existing) : WinErrorFromErrno(errno);
    }
    bool replace = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
    struct stat target {};
    if (replace && lstat(new_name, &target) == 0 &&
        (S_ISDIR(target.st_mode) || (!S_ISLNK(target.st_mode) && IsReadOnly(target.st_mode)))) {
        return ERROR_ACCESS_DENIED;
    }
    int result = replace ? rename(existing, new_name)
                         : renameat2(AT_FDCWD, existing, AT_FDCWD, new_name, RENAME_NOREPLACE);
    if (result != 0 && !replace && (errno == EINVAL || errno == ENOSYS) &&
        !S_ISDIR(source.st_mode)) {
        // No RENAME_NOREPLACE on this file system: a hard link refuses an existing name.
        result = link(existing, new_name);
        if (result == 0) unlink(existing);
    }
    if (result != 0 && errno == EXDEV) {
        if ((flags & MOVEFILE_COPY_ALLOWED) == 0 || !S_ISREG(source.st_mode)) {
            return ERROR_NOT_SAME_DEVICE;
        }
        DWORD error =
            CopyWholeFile(existing, new_name, replace, (flags & MOVEFILE_WRITE_THROUGH) != 0);
        if (error == ERROR_FILE_EXISTS) error = ERROR_ALREADY_EXISTS;
        if (error == ERROR_SUCCESS && unlink(existing) != 0) error = WinErrorFromErrno(errno);
        return error;
    }
    if (result != 0) return RenameError(errno, existing);
    return (flags & MOVEFILE_WRITE_THROUGH) != 0 ? SyncDirectoryOf(new_name) : ERROR_SUCCESS;
}

}  // namespace
}  // namespace cx::platform

using namespace cx::platform;

BOOL DeleteFileA(LPCSTR name) {
    DWORD error = ERROR_SUCCESS;
    if (!CheckName(name, &error)) return Finish(error);
    BeforeFileAccess(name, FileAccess::kChange);
    struct stat info {};
    if (lstat(name, &info) != 0) {
        return Finish(errno == ENOENT ? MissingPathError(name) : WinErrorFromErrno(errno));
    }
    if (S_ISDIR(info.st_mode) || (!S_ISLNK(info.st_mode) && IsReadOnly(info.st_mode))) {
        return Finish(ERROR_ACCESS_DENIED);
    }
    return Finish(unlink(name) == 0 ? ERROR_SUCCESS : WinErrorFromErrno(errno));
}

BOOL CopyFileA(LPCSTR existing, LPCSTR new_name, BOOL fail_if_exists) {
    DWORD error = ERROR_SUCCESS;
    if (!CheckName(existing, &error) || !CheckName(new_name, &error)) return Finish(error);
    BeforeFileAccess(existing, FileAccess::kRead);
    BeforeFileAccess(new_name, FileAccess::kChange);
    // Durable as well as atomic: the agent's saved inventory is replaced by a copy, and a crash
    // right after the call must find the new file complete, never an empty one.
    return Finish(CopyWholeFile(existing, new_name, !fail_if_exists, true));
}

BOOL CxWriteWholeFile(LPCSTR path, LPCVOID data, DWORD size) {
    DWORD error = ERROR_SUCCESS;
    if (!CheckName(path, &error)) return Finish(error);
    if (data == nullptr && size != 0) return Finish(ERROR_INVALID_PARAMETER);
    BeforeFileAccess(path, FileAccess::kChange);
    ReplacementFile file;
    error = file.Create(path, kDataFileMode);
    if (error == ERROR_SUCCESS) error = file.Write({static_cast<const char*>(data), size});
    if (error == ERROR_SUCCESS) error = file.Commit(true, true, nullptr);
    return Finish(error);
}

BOOL MoveFileA(LPCSTR existing, LPCSTR new_name) {
    return MoveFileExA(existing, new_name, MOVEFILE_COPY_ALLOWED);
}

BOOL MoveFileExA(LPCSTR existing, LPCSTR new_name, DWORD flags) {
    DWORD error = ERROR_SUCCESS;
    // A NULL new name asks for deletion at the next reboot, which Linux has no place for.
    if (!CheckName(existing, &error) || !CheckName(new_name, &error)) return Finish(error);
    BeforeFileAccess(existing, FileAccess::kChange);
    BeforeFileAccess(new_name, FileAccess::kChange);
    return Finish(Move(existing, new_name, flags));
}

DWORD GetFileAttributesA(LPCSTR name) {
    DWORD error = ERROR_SUCCESS;
    if (!CheckName(name, &error)) {
        SetLastError(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    BeforeFileAccess(name, FileAccess::kRead);
    FileFacts facts;
    if (!QueryFacts(AT_FDCWD, name, 0, &facts)) {
        SetLastError(errno == ENOENT ? MissingPathError(name) : WinErrorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    SetLastError(ERROR_SUCCESS);
    return AttributesOf(facts, LastComponent(name));
}

BOOL CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES) {
    DWORD error = ERROR_SUCCESS;
    if (!CheckName(name, &error)) return Finish(error);
    if (mkdir(name, 0777) == 0) return Finish(ERROR_SUCCESS);
    switch (errno) {
        case EEXIST: return Finish(ERROR_ALREADY_EXISTS);
        case ENOENT: return Finish(ERROR_PATH_NOT_FOUND);
        default: return Finish(WinErrorFromErrno(errno));
    }
}
