// The journal file of cx-switchd, opened so that a link planted at its name redirects nothing.
#include "journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/eintr.h"

namespace cx::switchd {
namespace {

constexpr int kOpenFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;

}  // namespace

Journal::~Journal() {
    if (fd_ >= 0) close(fd_);
}

bool Journal::Open(const std::string& path, std::uint64_t limit_bytes, std::string* error) {
    std::lock_guard guard(lock_);
    path_ = path;
    limit_ = limit_bytes;
    return OpenFile(error);
}

bool Journal::OpenFile(std::string* error) {
    // A new file gets 0640 whatever the umask; an existing one keeps the mode it was given.
    fd_ = open(path_.c_str(), kOpenFlags | O_CREAT | O_EXCL, 0640);
    if (fd_ >= 0) {
        fchmod(fd_, 0640);
    } else if (errno == EEXIST) {
        fd_ = open(path_.c_str(), kOpenFlags);
    }
    struct stat info {};
    if (fd_ < 0 || fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = fd_ < 0 ? std::strerror(errno) : "not a regular file";
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
        return false;
    }
    size_ = static_cast<std::uint64_t>(info.st_size);
    return true;
}

void Journal::Write(const std::string& line) {
    std::lock_guard guard(lock_);
    if (fd_ < 0) return;
    const std::string text = line + "\n";
    std::string error;
    if (size_ > 0 && size_ + text.size() > limit_) {
        close(fd_);
        fd_ = -1;
        if (rename(path_.c_str(), (path_ + ".old").c_str()) != 0) error = std::strerror(errno);
        if (error.empty()) OpenFile(&error);
    }
    std::size_t written = 0;
    while (fd_ >= 0 && written < text.size()) {
        ssize_t n = cx::RetryOnEintr(
            [&] { return write(fd_, text.data() + written, text.size() - written); });
        if (n <= 0) {
            error = std::strerror(errno);
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    size_ += written;
    if (!error.empty()) {
        std::fprintf(stderr, "cx-switchd: journal %s stopped: %s\n", path_.c_str(), error.c_str());
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
}

}  // namespace cx::switchd
