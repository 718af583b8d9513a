// A new file that takes the place of another whole or not at all: it is written beside its
// target (unnamed where the file system allows) and then linked or renamed into place, so that
// a reader, or a crash at any moment, sees the old file or the complete new one.
#pragma once

#include <string>
#include <string_view>

#include "files/file_facts.h"
#include "platform/windef.h"

namespace cx::platform {

class ReplacementFile {
  public:
    ReplacementFile() = default;
    ~ReplacementFile();  // an uncommitted file is thrown away
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Results are Windows error codes (ERROR_SUCCESS on success). The new file gets `mode`
    // whatever the umask; it is never opened through a symbolic link.
    DWORD Create(const std::string& target, mode_t mode);
    DWORD Write(std::string_view data);
    int Descriptor() const { return fd_; }
    // Puts the file in place of the target. Without `replace_existing` an existing target
    // fails with ERROR_FILE_EXISTS. `durable` makes the data and the new name reach the disk
    // before the call returns. `written` receives the facts of the new file.
    DWORD Commit(bool replace_existing, bool durable, FileFacts* written);

  private:
    void SetMode(mode_t mode);
    DWORD LinkUnnamedAs(const std::string& name);
    DWORD MoveIntoPlace(bool replace_existing);

    std::string target_;
    std::string directory_;
    std::string temp_path_;  // empty while the file has no name
    int fd_ = -1;
};

}  // namespace cx::platform
