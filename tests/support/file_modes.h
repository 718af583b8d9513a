// What the tests of file safety look at: a file's permission bits, whether a name is a symbolic
// link, and a umask of the test's choosing.
#pragma once

#include <sys/stat.h>

#include <string>

namespace cx::test {

// The permission bits of `path` (links not followed); 0 when there is no such file.
inline unsigned FileMode(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

inline bool IsSymlink(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// The process's umask for the life of this object; the old one afterwards.
class ScopedUmask {
  public:
    explicit ScopedUmask(mode_t mask) : old_(umask(mask)) {}
    ~ScopedUmask() { umask(old_); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

  private:
    mode_t old_;
};

}  // namespace cx::test
