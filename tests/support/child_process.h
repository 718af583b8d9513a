// Child processes for tests (started, read, signalled, waited for with a bound) and the small
// helpers that go with them: bounded waits for a condition, whole files, a free UDP port.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace cx::test {

// Where a child's standard output and error go.
enum class ChildOutput {
    kInherited,       // the test's own
    kPipe,            // standard output on a pipe (ReadLine, ReadAll); errors inherited
    kPipeWithErrors,  // standard output and error together on the pipe
    kFiles,           // standard output to `out_file`, standard error to `err_file`
};

struct ChildOptions {
    // Implicit, so that a call that only says where the output goes can pass just that.
    ChildOptions(ChildOutput where = ChildOutput::kInherited) : output(where) {}

    ChildOutput output;
    std::string out_file;
    std::string err_file;
    // Set in the child's environment on top of the inherited one.
    std::map<std::string, std::string> environment;
    // Drops to uid/gid 65534 before the program starts when the test runs as root; the child
    // ends with 126 when that fails, with 127 when the program cannot be started.
    bool as_nobody = false;
    // false: started with posix_spawn, which runs none of the parent's fork handlers (and so
    // cannot drop to nobody).
    bool fork_handlers = true;
};

class ChildProcess {
  public:
    ChildProcess() = default;
    // Starts at once; Started() tells whether that worked.
    explicit ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options = {}) {
        Start(argv, options);
    }
    // A child still running is killed.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `argv` (argv[0] is the program's path) with standard input from /dev/null; false
    // when it cannot be started or this object already has a child.
    bool Start(const std::vector<std::string>& argv, const ChildOptions& options = {});
    // Starts `argv` with standard output and error going to the two files.
    bool Start(const std::vector<std::string>& argv, const std::string& out_file,
               const std::string& err_file, const std::map<std::string, std::string>& env = {});
    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    bool Running();

    // The next line of output; false at its end or when none came within `bound`.
    bool ReadLine(std::string* line, std::chrono::milliseconds bound);
    // The output up to its end, or what came of it within `bound`.
    std::string ReadAll(std::chrono::milliseconds bound);

    // Sends `signal_number` if the child still runs.
    void Signal(int signal_number);
    void Kill();
    // The exit status, 128 + the signal that ended it, or -1 when it did not end within
    // `bound` (it is killed then).
    int Wait(std::chrono::milliseconds bound);

  private:
    // Appends what the pipe has to pending_; false at its end or at `deadline`.
    bool ReadMore(std::chrono::steady_clock::time_point deadline);

    pid_t pid_ = -1;
    bool ended_ = false;
    int status_ = -1;
    int output_ = -1;
    std::string pending_;
};

struct ToolResult {
    int exit_code = -1;  // -1: did not end within the bound (it was killed)
    std::string out;
    std::string err;
};

// Runs a program to its end (killed after `bound`), its output and errors kept in files in
// `scratch_dir` while it runs and read back.
ToolResult RunTool(const std::vector<std::string>& argv, const std::string& scratch_dir,
                   std::chrono::milliseconds bound = std::chrono::seconds(30),
                   ChildOptions options = {});

// Polls `condition` until it holds or `bound` passes; returns whether it held.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds bound = std::chrono::seconds(10));

// The whole content of a file (empty when it cannot be read).
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
// A UDP (TCP) port on 127.0.0.1 that was free a moment ago (0 when none could be had).
int FreeUdpPort();
int FreeTcpPort();
// The value of environment variable `name` (as a parent test set it), or empty.
std::string ChildSetting(const char* name);

}  // namespace cx::test
