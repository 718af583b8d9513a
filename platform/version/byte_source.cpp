// Byte sources over memory and over files (pread, so that only the parts a reader asks for
// are read, whatever the size of the file).
#include "version/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/errno_map.h"
#include "platform/eintr.h"
#include "platform/errors.h"

bool CxMemoryByteSource::Read(std::uint64_t offset, void* out, std::size_t size) const {
    if (offset > size_ || size > size_ - offset) return false;
    if (size != 0) std::memcpy(out, data_ + offset, size);
    return true;
}

namespace cx::platform::version {

FileByteSource::~FileByteSource() {
    if (fd_ >= 0) close(fd_);
}

DWORD FileByteSource::Open(const char* path) {
    // Non-blocking, so that a FIFO in place of a file cannot hold the caller.
    fd_ = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) return WinErrorFromErrno(errno);
    struct stat status {};
    if (fstat(fd_, &status) != 0) return WinErrorFromErrno(errno);
    if (S_ISDIR(status.st_mode)) return ERROR_ACCESS_DENIED;
    if (!S_ISREG(status.st_mode)) return ERROR_BAD_EXE_FORMAT;
    size_ = static_cast<std::uint64_t>(status.st_size);
    return ERROR_SUCCESS;
}

bool FileByteSource::Read(std::uint64_t offset, void* out, std::size_t size) const {
    if (fd_ < 0 || offset > size_ || size > size_ - offset) return false;
    auto* bytes = static_cast<std::uint8_t*>(out);
    while (size > 0) {
        ssize_t got =
            cx::RetryOnEintr([&] { return pread(fd_, bytes, size, static_cast<off_t>(offset)); });
        if (got <= 0) return false;  // an error, or the file shrank under us
        bytes += got;
        offset += static_cast<std::uint64_t>(got);
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace cx::platform::version
