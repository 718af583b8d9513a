// The profile cache's file reading and replacing, and its path forms.
#include "profile/profile_disk.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string_view>
#include <thread>

#include "core/errno_map.h"
#include "files/replacement_file.h"
#include "platform/eintr.h"
#include "platform/errors.h"

namespace cx::platform {
namespace {

constexpr size_t kLargestFile = 64u << 20;
// Another writer holds a directory's lock for one check-and-replace of one file: milliseconds.
// A holder stopped for longer than this does not stop our writes for good.
constexpr auto kDirectoryLockWait = std::chrono::seconds(10);
constexpr auto kDirectoryLockPoll = std::chrono::milliseconds(1);

ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool IsUtf16(std::string_view bytes) {
    return bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
}

// The whole file, within the size the cache accepts. A file that vanished reads as absent.
DWORD ReadWholeFile(const std::string& path, std::string* bytes, FileIdentity* identity) {
    // A pipe put in a file's place reads as empty instead of holding the caller up.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *identity = {};
        return errno == ENOENT ? ERROR_SUCCESS : WinErrorFromErrno(errno);
    }
    FileFacts facts;
    DWORD error = ERROR_SUCCESS;
    if (!QueryFacts(fd, &facts)) {
        error = WinErrorFromErrno(errno);
    } else if (S_ISDIR(facts.mode)) {
        error = ERROR_ACCESS_DENIED;
    } else if (facts.size > kLargestFile) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    }
    *identity = IdentityOf(facts);
    if (error == ERROR_SUCCESS) {
        bytes->resize(static_cast<size_t>(facts.size));
        size_t done = 0;
        while (done < bytes->size()) {
            ssize_t count = cx::RetryOnEintr(
                [&] { return read(fd, bytes->data() + done, bytes->size() - done); });
            if (count < 0) error = WinErrorFromErrno(errno);
            if (count <= 0) break;
            done += static_cast<size_t>(count);
        }
        bytes->resize(done);
    }
    close(fd);
    return error;
}

}  // namespace

FileIdentity IdentityOf(const FileFacts& facts) {
    return FileIdentity{true, facts.device, facts.inode, facts.size, Ticks(facts.last_write)};
}

FileIdentity CurrentIdentity(const std::string& path) {
    FileFacts facts;
    if (!QueryFacts(AT_FDCWD, path.c_str(), 0, &facts)) return {};
    return IdentityOf(facts);
}

DWORD ReadProfileText(const std::string& path, std::string* bytes, FileIdentity* identity) {
    DWORD error = ReadWholeFile(path, bytes, identity);
    if (error == ERROR_SUCCESS && IsUtf16(*bytes)) error = ERROR_NOT_SUPPORTED;
    return error;
}

DWORD CheckReplaceable(const std::string& path) {
    FileFacts facts;
    if (QueryFacts(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, &facts) && !S_ISLNK(facts.mode) &&
        IsReadOnly(facts.mode)) {
        return ERROR_ACCESS_DENIED;
    }
    // The new content is written beside the file and renamed over it.
    std::string directory = ParentDirectory(path);
    struct stat info {};
    if (stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return ERROR_PATH_NOT_FOUND;
    }
    return access(directory.c_str(), W_OK) == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

DWORD WriteReplacement(const std::string& path, const std::string& text, FileFacts* written) {
    // A link at the name is replaced like a missing file: nothing of it is taken over.
    struct stat old {};
    bool existed = lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    ReplacementFile file;
    DWORD error = file.Create(path, existed ? old.st_mode & 07777 : kDataFileMode);
    if (error == ERROR_SUCCESS) error = file.Write(text);
    if (error != ERROR_SUCCESS) return error;
    if (existed && (old.st_uid != geteuid() || old.st_gid != getegid()) &&
        fchown(file.Descriptor(), old.st_uid, old.st_gid) != 0) {
        // Not ours to give away: the file then belongs to this process's user.
    }
    return file.Commit(true, true, written);
}

DirectoryWriteLock::DirectoryWriteLock(const std::string& file_path) {
    fd_ = open(ParentDirectory(file_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    const auto deadline = std::chrono::steady_clock::now() + kDirectoryLockWait;
    for (;;) {
        if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
        if (errno != EWOULDBLOCK && errno != EINTR) break;  // no locks here: write without
        if (std::chrono::steady_clock::now() >= deadline) {
            busy_ = true;
            break;
        }
        std::this_thread::sleep_for(kDirectoryLockPoll);
    }
    close(fd_);
    fd_ = -1;
}

DirectoryWriteLock::~DirectoryWriteLock() {
    if (fd_ >= 0) close(fd_);  // closing the descriptor releases the lock
}

std::string AbsolutePath(const char* path) {
    if (path[0] == '/') return path;
    char directory[PATH_MAX];
    if (getcwd(directory, sizeof(directory)) == nullptr) return path;
    return std::string(directory) + "/" + path;
}

std::string CanonicalPath(const std::string& absolute) {
    char resolved[PATH_MAX];
    // Links on the way are resolved, one at the file's own name is not: the file is rewritten
    // in its place, which replaces a link put there instead of writing through it.
    std::string_view name = LastComponent(absolute);
    if ((name.empty() || name == "." || name == "..") &&
        realpath(absolute.c_str(), resolved) != nullptr) {
        return resolved;
    }
    std::string directory = ParentDirectory(absolute);
    if (realpath(directory.c_str(), resolved) != nullptr) {
        std::string path = resolved;
        if (path != "/") path += '/';
        return path.append(LastComponent(absolute));
    }
    return std::filesystem::path(absolute).lexically_normal().string();
}

}  // namespace cx::platform
