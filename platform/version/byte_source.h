// A byte source over a regular file.
#pragma once

#include "platform/version_resource.h"

namespace cx::platform::version {

class FileByteSource : public CxByteSource {
  public:
    FileByteSource() = default;
    ~FileByteSource() override;
    FileByteSource(const FileByteSource&) = delete;
    FileByteSource& operator=(const FileByteSource&) = delete;

    // ERROR_SUCCESS, or the Windows error for the path (a directory is ERROR_ACCESS_DENIED,
    // anything but a regular file ERROR_BAD_EXE_FORMAT).
    DWORD Open(const char* path);
    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, void* out, std::size_t size) const override;

  private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace cx::platform::version
