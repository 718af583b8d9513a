// Child processes for the host's integration tests: started with their output in files,
// waited for with a bound, stopped by signal.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace cx::test {

struct ToolResult {
    int exit_code = -1;  // -1: did not end within the bound (it was killed)
    std::string out;
    std::string err;
};

class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `argv` with standard output and error going to the two files.
    bool Start(const std::vector<std::string>& argv, const std::string& out_file,
               const std::string& err_file, const std::map<std::string, std::string>& env = {});
    bool Running();
    // Sends `signal_number` (if still running).
    void Signal(int signal_number);
    // The exit code, or -1 when it did not end within `bound` (it is then killed).
    int Wait(std::chrono::milliseconds bound);
    pid_t Pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int exit_code_ = -1;
};

// Runs a tool to its end (killed after `bound`), with its output read back.
ToolResult RunTool(const std::vector<std::string>& argv, const std::string& scratch_dir,
                   std::chrono::milliseconds bound = std::chrono::seconds(30));

// Polls `condition` until it holds or `bound` passes; returns whether it held.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds bound);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
// A UDP port on 127.0.0.1 that was free a moment ago.
int FreeUdpPort();

}  // namespace cx::test
