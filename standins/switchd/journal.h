// cx-switchd --journal: one line per call received, appended to a file of bounded size. When a
// line would take the file past its limit, the file becomes FILE.old (replacing an older one)
// and a new FILE is begun: the journal never takes more than twice the limit on disk.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace cx::switchd {

class Journal {
  public:
    Journal() = default;
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Opens `path` for appending, creating it with mode 0640; a symbolic link or anything but
    // a regular file there is refused. False with the reason in *error.
    bool Open(const std::string& path, std::uint64_t limit_bytes, std::string* error);
    // Appends `line` and a line end; a journal that can no longer be written stops (logged).
    void Write(const std::string& line);

  private:
    bool OpenFile(std::string* error);

    std::mutex lock_;
    std::string path_;
    std::uint64_t limit_ = 0;
    std::uint64_t size_ = 0;
    int fd_ = -1;
};

}  // namespace cx::switchd
