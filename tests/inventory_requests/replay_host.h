// extagentd with REPLAY_MIB serving one walk, for tests that ask another agent over SNMP: the
// SWITCH server the agent needs to start, the host on a loopback port chosen at run time, and
// the port in the test's registry so that the manager sessions find it.
#pragma once

#include <memory>
#include <string>

#include "child_process.h"
#include "switchd_process.h"
#include "temp_dir.h"

namespace cx::test {

class ReplayHost {
  public:
    explicit ReplayHost(const TempDir& dir) : dir_(dir) {}
    ~ReplayHost();
    ReplayHost(const ReplayHost&) = delete;
    ReplayHost& operator=(const ReplayHost&) = delete;

    // Registers REPLAY_MIB with `walk` under `region` in the registry this process uses (the
    // test's own) and starts both servers; true once the agent has built its MIB (bounded).
    bool Start(const std::string& walk, const std::string& region);
    // Ends the host (SIGTERM, bounded wait); the servers are ended by the destructor as well.
    void Stop();
    // What the host wrote on its standard error.
    std::string Errors() const { return ReadFile(dir_.File("host.err")); }

  private:
    const TempDir& dir_;
    std::unique_ptr<SwitchdProcess> switchd_;
    std::unique_ptr<ChildProcess> host_;
};

}  // namespace cx::test
