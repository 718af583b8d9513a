// What the file calls need to know about a file, and the Windows forms of it: attributes,
// FILETIMEs and the error for a path that is not there.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

#include "platform/windef.h"

namespace cx::platform {

// The files the system keeps beside its data hold serial numbers and the like: owner and group
// may read them, the world never.
inline constexpr mode_t kDataFileMode = 0640;

struct FileFacts {
    mode_t mode = 0;
    ULONGLONG size = 0;
    dev_t device = 0;
    ino_t inode = 0;
    FILETIME creation{};  // birth time where the file system records one, else last write
    FILETIME last_access{};
    FILETIME last_write{};
};

// statx of `path` relative to `dir_fd` (AT_FDCWD for the working directory); `flags` as for
// statx (0 follows links). False with errno set.
bool QueryFacts(int dir_fd, const char* path, int flags, FileFacts* facts);
bool QueryFacts(int fd, FileFacts* facts);

FILETIME FileTimeFromUnix(long long seconds, long nanoseconds);

// The Windows attributes of a file called `name` (its last path component).
DWORD AttributesOf(const FileFacts& facts, std::string_view name);
bool IsReadOnly(mode_t mode);

// The directory part of `path` ("." when there is none, "/" for a file in the root).
std::string ParentDirectory(std::string_view path);
std::string_view LastComponent(std::string_view path);

// ERROR_PATH_NOT_FOUND when the directory of `path` is missing, else ERROR_FILE_NOT_FOUND:
// Windows tells the two apart and callers report them differently.
DWORD MissingPathError(const char* path);

}  // namespace cx::platform
