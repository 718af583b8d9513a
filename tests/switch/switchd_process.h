// A cx-switchd process for one test: its own socket, journal, scenario and log in the test's
// temporary directory, and the class registered in the test's own registry file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace cx::test {

class ChildProcess;

// A Unix stream socket listening at `path`, or connected to it; -1 when that fails.
int UnixSocket(const std::string& path, bool listening);

class SwitchdProcess {
  public:
    // Without `journal` the server writes none (JournalLines stays empty).
    explicit SwitchdProcess(const TempDir& dir, bool journal = true);
    ~SwitchdProcess();
    SwitchdProcess(const SwitchdProcess&) = delete;
    SwitchdProcess& operator=(const SwitchdProcess&) = delete;

    // Writes the scenario file and starts the server with it and `extra` arguments; returns
    // once the socket accepts connections and, with --register, the class is registered
    // (bounded).
    bool Start(const std::string& scenario, const std::vector<std::string>& extra = {});
    // Starts the server without waiting for its socket (for servers expected to refuse).
    bool Launch(const std::string& scenario, const std::vector<std::string>& extra = {});
    void Terminate();  // SIGTERM and wait (bounded)
    void Kill();       // SIGKILL and wait
    // Rewrites the scenario file and has the server read it again (SIGHUP).
    void Reload(const std::string& scenario);
    // Waits (bounded) for the server to end by itself; its exit status, or -1.
    int WaitForExitStatus();
    // Points this process's registry at the test's file and registers the class there.
    void RegisterClass() const;

    std::vector<std::string> JournalLines() const;
    // What the server wrote to its standard error.
    std::string Log() const;
    // Waits (bounded) until the journal has at least `count` lines.
    bool WaitForJournalLines(std::size_t count) const;

    const std::string& socket_path() const { return socket_path_; }
    const std::string& journal_path() const { return journal_path_; }
    const std::string& registry_path() const { return registry_path_; }

  private:
    std::string socket_path_;
    std::string journal_path_;
    std::string scenario_path_;
    std::string registry_path_;
    std::string log_path_;
    bool journal_;
    std::unique_ptr<ChildProcess> process_;
};

}  // namespace cx::test
