// What the profile cache does on disk: telling one state of a file from another, reading a
// file whole, checking that it may be replaced and replacing it, and the canonical form of a
// path.
#pragma once

#include <sys/types.h>

#include <string>

#include "files/file_facts.h"
#include "platform/windef.h"

namespace cx::platform {

// What tells one state of a file on disk from another.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    ULONGLONG size = 0;
    ULONGLONG modified = 0;  // FILETIME ticks
    bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(const FileFacts& facts);
// The identity of `path` now; !exists when there is no such file.
FileIdentity CurrentIdentity(const std::string& path);

// The whole file as profile text, within the size the cache accepts. A file that does not
// exist reads as absent and empty; UTF-16 text is not supported.
DWORD ReadProfileText(const std::string& path, std::string* bytes, FileIdentity* identity);

// ERROR_SUCCESS when `path` may be replaced: not read-only, in a directory we may write.
DWORD CheckReplaceable(const std::string& path);
// The new content of `path`, replacing the file whole; it keeps the old file's permissions
// and, where we may set it, its owner.
DWORD WriteReplacement(const std::string& path, const std::string& text, FileFacts* written);

// Held while a file is checked against the disk and replaced: every process that writes profile
// files through this cache takes it for the file's directory, so that a write lands after
// another process's check-and-replace, sees its result and merges into it, instead of renaming
// over it. The wait is bounded; a directory that cannot be locked (no read access, a file
// system without locks) is written without the lock, as before.
class DirectoryWriteLock {
  public:
    explicit DirectoryWriteLock(const std::string& file_path);
    ~DirectoryWriteLock();
    DirectoryWriteLock(const DirectoryWriteLock&) = delete;
    DirectoryWriteLock& operator=(const DirectoryWriteLock&) = delete;
    // True when the lock was held elsewhere for longer than the bound.
    bool Busy() const { return busy_; }

  private:
    int fd_ = -1;
    bool busy_ = false;
};

// `path` absolute (relative to the working directory), as given otherwise.
std::string AbsolutePath(const char* path);
// The path with links and "." and ".." resolved in its directories, as far as they exist; a
// link at the last name stays as it is.
std::string CanonicalPath(const std::string& absolute);

}  // namespace cx::platform
