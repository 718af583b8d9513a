// Runs one test case of this test program again in a child process, for tests that need a
// second process (named mutexes, several writers of one trace file).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace cx::test {

class ChildProcess {
  public:
    // Starts this program with --gtest_filter=`test_name` and `environment` ("NAME=value")
    // added to the inherited environment.
    ChildProcess(const std::string& test_name, const std::vector<std::string>& environment);
    // A child still running is killed.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    // Waits at most `limit` for the child to end: its exit status (0 when its test passed), or
    // -1 when it did not end in time (it is killed then) or died of a signal.
    int Wait(std::chrono::milliseconds limit);

  private:
    pid_t pid_ = -1;
};

// The value of environment variable `name`, or empty.
std::string ChildSetting(const char* name);

}  // namespace cx::test
