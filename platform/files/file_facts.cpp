// File facts through statx, Windows attributes and FILETIMEs.
#include "files/file_facts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>

#include "platform/errors.h"
#include "platform/files.h"

namespace cx::platform {
namespace {

// 100 ns intervals between 1601-01-01 and 1970-01-01.
constexpr long long kUnixEpochInFileTime = 116444736000000000LL;

void FillFacts(const struct statx& info, FileFacts* facts) {
    facts->mode = info.stx_mode;
    facts->size = info.stx_size;
    facts->device = makedev(info.stx_dev_major, info.stx_dev_minor);
    facts->inode = info.stx_ino;
    facts->last_access = FileTimeFromUnix(info.stx_atime.tv_sec, info.stx_atime.tv_nsec);
    facts->last_write = FileTimeFromUnix(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
    facts->creation = (info.stx_mask & STATX_BTIME) != 0
                          ? FileTimeFromUnix(info.stx_btime.tv_sec, info.stx_btime.tv_nsec)
                          : facts->last_write;
}

}  // namespace

bool QueryFacts(int dir_fd, const char* path, int flags, FileFacts* facts) {
    struct statx info {};
    if (statx(dir_fd, path, flags | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME,
              &info) != 0) {
        return false;
    }
    FillFacts(info, facts);
    return true;
}

bool QueryFacts(int fd, FileFacts* facts) { return QueryFacts(fd, "", AT_EMPTY_PATH, facts); }

FILETIME FileTimeFromUnix(long long seconds, long nanoseconds) {
    long long value = kUnixEpochInFileTime + seconds * 10000000LL + nanoseconds / 100;
    if (value < 0) value = 0;  // before 1601: the earliest FILETIME
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(value));
    time.dwHighDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(value) >> 32);
    return time;
}

bool IsReadOnly(mode_t mode) { return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

DWORD AttributesOf(const FileFacts& facts, std::string_view name) {
    DWORD attributes = 0;
    if (S_ISDIR(facts.mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (!S_ISDIR(facts.mode) && IsReadOnly(facts.mode)) attributes |= FILE_ATTRIBUTE_READONLY;
    // Dot names are what Linux tools hide.
    if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

std::string ParentDirectory(std::string_view path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string_view::npos) return ".";
    if (slash == 0) return "/";
    return std::string(path.substr(0, slash));
}

std::string_view LastComponent(std::string_view path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

DWORD MissingPathError(const char* path) {
    struct stat info {};
    std::string directory = ParentDirectory(path);
    if (stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return ERROR_PATH_NOT_FOUND;
    }
    return ERROR_FILE_NOT_FOUND;
}

}  // namespace cx::platform
