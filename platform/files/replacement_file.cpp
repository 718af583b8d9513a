// ReplacementFile: O_TMPFILE (or a hidden temporary name), then link or rename into place.
#include "files/replacement_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "core/errno_map.h"
#include "platform/eintr.h"
#include "platform/errors.h"

namespace cx::platform {
namespace {

// Linking an unnamed file needs /proc (or a capability we do not count on).
bool CanLinkUnnamedFiles() {
    static const bool can = access("/proc/self/fd", X_OK) == 0;
    return can;
}

DWORD ErrorFromErrno(int error_number) {
    if (error_number == ENOENT || error_number == ENOTDIR) return ERROR_PATH_NOT_FOUND;
    if (error_number == EISDIR) return ERROR_ACCESS_DENIED;
    return WinErrorFromErrno(error_number);
}

// A hidden name beside the target; the process id and a counter keep writers apart, and a
// name left by a crashed process is skipped by the callers' retry.
std::string TemporaryName(const std::string& directory, const std::string& target) {
    static std::atomic<unsigned> counter{0};
    std::string base(target.substr(target.find_last_of('/') + 1));
    return directory + "/." + base + ".cx-" + std::to_string(getpid()) + "-" +
           std::to_string(counter.fetch_add(1));
}

DWORD SyncDirectory(const std::string& directory) {
    int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return ErrorFromErrno(errno);
    int result = fsync(fd);
    int error_number = errno;
    close(fd);
    return result == 0 ? ERROR_SUCCESS : ErrorFromErrno(error_number);
}

}  // namespace

ReplacementFile::~ReplacementFile() {
    if (fd_ >= 0) close(fd_);
    if (!temp_path_.empty()) unlink(temp_path_.c_str());
}

DWORD ReplacementFile::Create(const std::string& target, mode_t mode) {
    target_ = target;
    size_t slash = target.find_last_of('/');
    directory_ = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    if (CanLinkUnnamedFiles()) {
        fd_ = open(directory_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd_ >= 0) {
            SetMode(mode);
            return ERROR_SUCCESS;
        }
        // File systems without unnamed files say so in several ways; a missing or closed
        // directory fails the named way as well and is reported from there.
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        // A name of our own, created here: whatever another planted under it, link or file,
        // makes the open fail and the next name is tried.
        std::string name = TemporaryName(directory_, target_);
        fd_ = open(name.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_CLOEXEC, mode);
        if (fd_ >= 0) {
            temp_path_ = name;
            SetMode(mode);
            return ERROR_SUCCESS;
        }
        if (errno != EEXIST) return ErrorFromErrno(errno);
    }
    return ERROR_ALREADY_EXISTS;
}

// The creation mode went through the umask; the file's mode is the caller's to choose. A file
// system without modes refuses the change, and the file is written all the same.
void ReplacementFile::SetMode(mode_t mode) { fchmod(fd_, mode); }

DWORD ReplacementFile::Write(std::string_view data) {
    while (!data.empty()) {
        ssize_t done = cx::RetryOnEintr([&] { return write(fd_, data.data(), data.size()); });
        if (done < 0) return ErrorFromErrno(errno);
        data.remove_prefix(static_cast<size_t>(done));
    }
    return ERROR_SUCCESS;
}

DWORD ReplacementFile::LinkUnnamedAs(const std::string& name) {
    std::string proc_path = "/proc/self/fd/" + std::to_string(fd_);
    if (linkat(AT_FDCWD, proc_path.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        return errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno);
    }
    return ERROR_SUCCESS;
}

DWORD ReplacementFile::MoveIntoPlace(bool replace_existing) {
    if (temp_path_.empty()) {
        // Without replacing, linking the unnamed file under the target's name is atomic and
        // refuses an existing target by itself.
        if (!replace_existing) return LinkUnnamedAs(target_);
        for (int attempt = 0; temp_path_.empty(); ++attempt) {
            std::string name = TemporaryName(directory_, target_);
            DWORD error = LinkUnnamedAs(name);
            if (error == ERROR_SUCCESS) temp_path_ = name;
            if (error != ERROR_SUCCESS && (error != ERROR_FILE_EXISTS || attempt >= 100)) {
                return error;
            }
        }
    }
    if (replace_existing) {
        if (rename(temp_path_.c_str(), target_.c_str()) != 0) return ErrorFromErrno(errno);
    } else {
        if (renameat2(AT_FDCWD, temp_path_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) !=
            0) {
            if (errno == EEXIST) return ERROR_FILE_EXISTS;
            if (errno != EINVAL && errno != ENOSYS) return ErrorFromErrno(errno);
            // No RENAME_NOREPLACE here: a hard link refuses an existing name as well.
            if (link(temp_path_.c_str(), target_.c_str()) != 0) {
                return errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno);
            }
            unlink(temp_path_.c_str());
        }
    }
    temp_path_.clear();
    return ERROR_SUCCESS;
}

DWORD ReplacementFile::Commit(bool replace_existing, bool durable, FileFacts* written) {
    if (durable && fdatasync(fd_) != 0) return ErrorFromErrno(errno);
    // The facts are taken before the move: renaming changes neither inode nor times.
    if (written != nullptr && !QueryFacts(fd_, written)) return ErrorFromErrno(errno);
    DWORD error = MoveIntoPlace(replace_existing);
    if (error != ERROR_SUCCESS) return error;
    close(fd_);
    fd_ = -1;
    return durable ? SyncDirectory(directory_) : ERROR_SUCCESS;
}

}  // namespace cx::platform
