// CopyWholeFile: the checks Windows makes, then a ReplacementFile filled from the source.
#include "files/file_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/errno_map.h"
#include "files/file_facts.h"
#include "files/replacement_file.h"
#include "platform/eintr.h"
#include "platform/errors.h"

namespace cx::platform {
namespace {

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

DWORD CopyBytes(int from, int to) {
    bool kernel_copy = true;
    char buffer[64 * 1024];
    for (;;) {
        ssize_t count = -1;
        if (kernel_copy) {
            count = cx::RetryOnEintr(
                [&] { return copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0); });
            if (count < 0 &&
                (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                kernel_copy = false;  // not between these file systems: copy through memory
                continue;
            }
        } else {
            count = cx::RetryOnEintr([&] { return read(from, buffer, sizeof(buffer)); });
            for (ssize_t written = 0; count > 0 && written < count;) {
                ssize_t part = cx::RetryOnEintr([&] {
                    return write(to, buffer + written, static_cast<size_t>(count - written));
                });
                if (part <= 0) return part == 0 ? ERROR_DISK_FULL : WinErrorFromErrno(errno);
                written += part;
            }
        }
        if (count < 0) return errno == ENOSPC ? ERROR_DISK_FULL : WinErrorFromErrno(errno);
        if (count == 0) return ERROR_SUCCESS;
    }
}

// Windows refuses a target that is a directory, a read-only file or the source itself. A
// symbolic link there is looked at, not through: the rename replaces the link itself.
DWORD CheckTarget(const char* target, const struct stat& source, bool replace_existing) {
    struct stat info {};
    if (lstat(target, &info) != 0) {
        if (errno != ENOENT) return WinErrorFromErrno(errno);
        // A new file: only its directory has to be there.
        DWORD missing = MissingPathError(target);
        return missing == ERROR_PATH_NOT_FOUND ? missing : ERROR_SUCCESS;
    }
    if (!replace_existing) return ERROR_FILE_EXISTS;
    if (info.st_dev == source.st_dev && info.st_ino == source.st_ino) {
        return ERROR_SHARING_VIOLATION;
    }
    if (S_ISDIR(info.st_mode) || IsReadOnly(info.st_mode)) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

}  // namespace

DWORD CopyWholeFile(const char* source, const char* target, bool replace_existing, bool durable) {
    // Never read through a link: one planted in place of the agent's file would copy whatever
    // it points at beside the agent's data. Only regular files are copied, and a pipe put there
    // must not hold the open up.
    Descriptor from(open(source, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (from.get() < 0)
        return errno == ENOENT ? MissingPathError(source) : WinErrorFromErrno(errno);
    struct stat info {};
    if (fstat(from.get(), &info) != 0) return WinErrorFromErrno(errno);
    if (!S_ISREG(info.st_mode)) return ERROR_ACCESS_DENIED;
    DWORD error = CheckTarget(target, info, replace_existing);
    if (error != ERROR_SUCCESS) return error;

    ReplacementFile copy;
    error = copy.Create(target, info.st_mode & 07777);
    if (error == ERROR_SUCCESS) error = CopyBytes(from.get(), copy.Descriptor());
    if (error != ERROR_SUCCESS) return error;
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    futimens(copy.Descriptor(), times);
    return copy.Commit(replace_existing, durable, nullptr);
}

}  // namespace cx::platform
