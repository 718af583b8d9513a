// Child processes for the registry tests: started, read, waited for with a bound, killed.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace cx::test {

class ChildProcess {
  public:
    // Runs `argv` with its standard output (and, with `with_errors`, its standard error) on a
    // pipe; `as_nobody` drops to uid/gid 65534 first when the test runs as root.
    explicit ChildProcess(const std::vector<std::string>& argv, bool as_nobody = false,
                          bool with_errors = false);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    // The next line of output; false at its end or after `timeout_ms`.
    bool ReadLine(std::string* line, int timeout_ms);
    // Everything up to the end of the output (bounded by `timeout_ms`).
    std::string ReadAll(int timeout_ms);
    void Kill();
    // The exit status (or 128 + signal); -1 when it did not end within `timeout_ms`.
    int Wait(int timeout_ms);

  private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string pending_;
    bool reaped_ = false;
    int status_ = -1;
};

}  // namespace cx::test
