// The kernel object behind a file handle from CreateFileA: an open descriptor and the access
// it was opened with, closed when the last reference goes.
#pragma once

#include <unistd.h>

#include "core/handle_table.h"

namespace cx::platform {

class FileObject : public KernelObject {
  public:
    FileObject(int fd, bool readable, bool writable)
        : fd_(fd), readable_(readable), writable_(writable) {}
    ~FileObject() override { close(fd_); }
    FileObject(const FileObject&) = delete;
    FileObject& operator=(const FileObject&) = delete;

    int Descriptor() const { return fd_; }
    bool Readable() const { return readable_; }
    bool Writable() const { return writable_; }

  private:
    const int fd_;
    const bool readable_;
    const bool writable_;
};

}  // namespace cx::platform
